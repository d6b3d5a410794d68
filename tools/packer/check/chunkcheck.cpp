#include "chunkcheck.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "chunkcompiler.h"
#include "chunkglobals.h"
#include "configglobals.h"
#include "files.h"
#include "hooknames.h"
#include "lauxlib.h"
#include "lua.h"

namespace quillpack {
namespace {

namespace hooks = brix::hooks;
namespace globals = brix::globals;

struct Chunk {
  const char* file;
  const char* runBy;  // who calls its hooks
  std::vector<const char*> hooks;
  bool read = false;
  std::vector<GlobalWrite> writes;
};

int Collect(lua_State*, const void* p, size_t n, void* ud) {
  static_cast<Bytes*>(ud)->append(static_cast<const char*>(p), n);
  return 0;
}

// Compiles as the packer does (a BOM and a first "#" line are skipped); the
// dump keeps its debug information for the lines.
void Read(Chunk& c, CheckReport& report) {
  const std::string path = report.root() + "/" + c.file;
  if (Inspect(path, true).kind != PathKind::kFile) return;  // reported as missing
  std::unique_ptr<lua_State, decltype(&lua_close)> state(luaL_newstate(), lua_close);
  lua_State* L = state.get();
  if (!L) throw PackError("cannot create a Lua state (out of memory)");
  const Bytes source = LuaSource(path);
  if (luaL_loadbuffer(L, source.data(), source.size(), ("@" + path).c_str()) != LUA_OK) {
    const char* msg = lua_tostring(L, -1);
    report.Problem(msg ? msg : path + ": cannot compile");
    return;
  }
  Bytes dump;
  lua_dump(L, Collect, &dump);
  try {
    c.writes = GlobalWrites(dump);
    CompileChunk(path);  // the layout the installer loads
    c.read = true;
  } catch (const PackError& e) {
    report.Problem(c.file, 0, e.what());
  }
}

std::string Lower(std::string s) {
  for (char& ch : s)
    if (ch >= 'A' && ch <= 'Z') ch = char(ch - 'A' + 'a');
  return s;
}

bool Has(const std::vector<const char*>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

// homes: each hook's chunk files ("install.lua and uninstall.lua").
void CheckHooks(const Chunk& c, const std::vector<const char*>& allHooks,
                const std::map<std::string, std::string>& homes, CheckReport& report) {
  std::vector<std::string> defined;
  std::set<std::string> seen;
  for (const GlobalWrite& w : c.writes) {
    if (!seen.insert(w.name).second) continue;
    if (Has(c.hooks, w.name)) {
      defined.push_back(w.name + " (line " + std::to_string(w.line) + ")");
      continue;
    }
    if (Has(allHooks, w.name)) {
      // The configuration chunk runs in both roles, so its hooks do run.
      report.Problem(c.file, w.line,
                     w.name + (c.hooks.empty() ? " is a hook defined where the installer and the uninstaller both run it"
                                               : " is a hook, but " + std::string(c.runBy) + " never calls it") +
                         "; define it in " + homes.at(w.name));
      continue;
    }
    // Close to a hook, or in the hooks' own prefix: a hook the host will
    // silently never call.
    const std::string lower = Lower(w.name);
    const char* closest = nullptr;
    size_t best = SIZE_MAX;
    for (const char* h : allHooks) {
      const size_t d = NameDistance(w.name, h);
      if (d < best || (d == best && Has(c.hooks, h) && !Has(c.hooks, closest))) best = d, closest = h;
    }
    if (best > 2 && lower.compare(0, 7, "brixse_") != 0) continue;
    std::string what = w.name + " is not a hook " + c.runBy + " calls";
    if (best <= 3) {
      what += std::string("; did you mean ") + closest + "?";
    } else if (!c.hooks.empty()) {
      std::string list;
      for (const char* h : c.hooks) list += (list.empty() ? "" : ", ") + std::string(h);
      what += " (its hooks: " + list + ")";
    }
    report.Problem(c.file, w.line, what);
  }
  if (c.hooks.empty()) return;
  std::string list;
  for (const std::string& d : defined) list += (list.empty() ? "" : ", ") + d;
  report.Info(c.file, "hooks defined: " + (list.empty() ? std::string("none") : list));
}

bool Writes(const Chunk& c, const char* name) {
  return std::any_of(c.writes.begin(), c.writes.end(), [&](const GlobalWrite& w) { return w.name == name; });
}

}  // namespace

size_t NameDistance(const std::string& x, const std::string& y) {
  const std::string a = Lower(x), b = Lower(y);
  // Optimal string alignment distance.
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i)
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

void CheckChunks(CheckReport& report) {
  Chunk config{"config.lua", "the host", {}, false, {}};
  Chunk install{"install.lua", "the installer", {std::begin(hooks::kInstallHooks), std::end(hooks::kInstallHooks)}, false, {}};
  Chunk uninstall{"uninstall.lua", "the uninstaller",
                  {std::begin(hooks::kUninstallHooks), std::end(hooks::kUninstallHooks)}, false, {}};
  std::vector<const char*> allHooks;
  std::map<std::string, std::string> homes;
  for (const Chunk* c : {&install, &uninstall})
    for (const char* h : c->hooks) {
      if (!homes.count(h)) allHooks.push_back(h);
      homes[h] += (homes[h].empty() ? "" : " and ") + std::string(c->file);
    }

  for (Chunk* c : {&config, &install, &uninstall}) Read(*c, report);
  for (const Chunk* c : {&config, &install, &uninstall})
    if (c->read) CheckHooks(*c, allHooks, homes, report);

  // Each run has the configuration chunk's globals and those of its own.
  if (!config.read) return;
  for (const globals::ConfigGlobal& g : globals::kConfigGlobals) {
    std::string unsetFor;
    bool known = true;
    for (const auto& [reader, chunk, who] : {std::make_tuple(globals::kInstaller, &install, "installer"),
                                              std::make_tuple(globals::kUninstaller, &uninstall, "uninstaller")}) {
      if (!(g.readers & reader)) continue;
      known = known && chunk->read;
      if (!Writes(config, g.name) && !Writes(*chunk, g.name)) unsetFor += unsetFor.empty() ? who : std::string(" and ") + who;
    }
    if (known && !unsetFor.empty())
      report.Note("config.lua", 0, std::string(g.name) + " is not set; the " + unsetFor + " uses " + g.whenUnset);
  }
}

}  // namespace quillpack
