// setup.exe's compressed code: the packer's side (which sections it takes,
// what it refuses) and the loader's (the program runs as linked, also when
// the system loads it away from its preferred address, and a damaged stream
// stops it with a clear exit code instead of running zeros).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "binary.h"
#include "codeloaderrecord.h"
#include "harness.h"
#include "pelayout.h"
#include "stubcode.h"
#include "testpaths.h"

namespace {

using quillpack::Bytes;

struct Outcome {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;
};

// Not under the harness: Wine, as a debugger's debuggee, loses a caught C++
// exception's state and the target then fails a check the program passes.
Outcome RunProgram(const std::wstring& exe, const std::wstring& arguments = L"") {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  EXPECT_TRUE(CreatePipe(&read, &write, &inherit, 0));
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = write;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::wstring command = L"\"" + exe + L"\" " + arguments;
  Outcome run;
  const BOOL started = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                      nullptr, &si, &pi);
  CloseHandle(write);
  EXPECT_TRUE(started) << "error " << GetLastError();
  if (started) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got) run.output.append(buffer, got);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 30000));
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  CloseHandle(read);
  return run;
}

Bytes Target() { return testsupport::ReadFileBytes(testsupport::BinPath(L"loadertarget.exe")); }

uint64_t BaseOf(const std::string& output) {
  const size_t at = output.find("base ");
  return at == std::string::npos ? 0 : std::stoull(output.substr(at + 5), nullptr, 16);
}

class CodeLoader : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testsupport::MakeTempDir(L"codeloader"); }
  void TearDown() override { testsupport::RemoveTree(dir_); }
  std::wstring Write(const std::wstring& name, const Bytes& image) {
    const std::wstring path = dir_ + L"\\" + name;
    EXPECT_TRUE(testsupport::WriteFileBytes(path, image));
    return path;
  }
  std::wstring dir_;
};

TEST_F(CodeLoader, CompressedProgramRunsAsLinked) {
  const Bytes plain = Target();
  const Outcome asLinked = RunProgram(Write(L"plain.exe", plain));
  EXPECT_EQ(0u, asLinked.exitCode) << asLinked.output;

  const quillpack::CompressedStub packed = quillpack::CompressStubCode(plain);
  ASSERT_TRUE(packed.leftPlain.empty()) << packed.leftPlain;
  EXPECT_LT(packed.image.size(), plain.size());
  // The code and read-only data are no longer in the file.
  const quillpack::PeLayout l = quillpack::ReadPeLayout(packed.image);
  for (const quillpack::PeSection& s : l.sections) {
    if (!std::strcmp(s.name, ".text") || !std::strcmp(s.name, ".rdata")) {
      EXPECT_EQ(0u, s.rawSize) << s.name;
    }
  }

  const Outcome run = RunProgram(Write(L"packed.exe", packed.image));
  EXPECT_EQ(0u, run.exitCode) << run.output;
  EXPECT_EQ(BaseOf(asLinked.output), BaseOf(run.output));
}

// Loaded as a library into this process, whose own image holds the
// preferred address, the program is placed elsewhere: the system relocates
// what it mapped, the loader must relocate what it unpacks the same way.
// Marked a DLL without an entry point, so that the system relocates it (Wine
// leaves an executable loaded as a library unrelocated) and runs nothing of
// it but its TLS callbacks, the loader's.
TEST_F(CodeLoader, UnpackedCodeIsRelocatedWhereverTheImageIsLoaded) {
  const Bytes plain = Target();
  const quillpack::CompressedStub packed = quillpack::CompressStubCode(plain);
  ASSERT_TRUE(packed.leftPlain.empty()) << packed.leftPlain;
  Bytes library = packed.image;
  const quillpack::PeLayout packedLayout = quillpack::ReadPeLayout(library);
  quillpack::SetU16(library, packedLayout.coff + 18, quillpack::GetU16(library, packedLayout.coff + 18) | IMAGE_FILE_DLL);
  quillpack::SetU32(library, packedLayout.EntryPointField(), 0);
  // Wine makes only the sections with file data writable to relocate them.
  for (const quillpack::PeSection& s : packedLayout.sections) {
    if (!s.rawSize) quillpack::SetU32(library, s.header + 36, s.characteristics | IMAGE_SCN_MEM_WRITE);
  }
  HMODULE module = LoadLibraryW(Write(L"packed.dll", library).c_str());
  ASSERT_NE(nullptr, module) << GetLastError();
  const quillpack::PeLayout l = quillpack::ReadPeLayout(plain);
  ASSERT_NE(l.ImageBase(plain), uint64_t(reinterpret_cast<uintptr_t>(module)))
      << "loaded where it asked: nothing would be relocated";

  // The system may or may not call an executable's TLS callbacks when it is
  // loaded as a library; the loader's first one unpacks once either way.
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& tls = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
  ASSERT_NE(0u, tls.VirtualAddress);
  const auto* directory = reinterpret_cast<const IMAGE_TLS_DIRECTORY*>(base + tls.VirtualAddress);
  const auto* callbacks = reinterpret_cast<const PIMAGE_TLS_CALLBACK*>(directory->AddressOfCallBacks);
  ASSERT_NE(nullptr, callbacks[0]);
  callbacks[0](module, DLL_PROCESS_ATTACH, nullptr);

  using Checks = int (*)();
  const auto checks = reinterpret_cast<Checks>(GetProcAddress(module, "LoaderTargetAddressChecks"));
  ASSERT_NE(nullptr, checks);
  EXPECT_EQ(0, checks());
}

// A stream that does not unpack to what was packed stops the program before
// any of its code runs: its box and exit code 3; a silent install gets no
// box.
TEST_F(CodeLoader, DamagedStreamStopsTheProgram) {
  const quillpack::CompressedStub packed = quillpack::CompressStubCode(Target());
  const quillpack::PeLayout l = quillpack::ReadPeLayout(packed.image);
  const quillpack::PeSection* stream = nullptr;
  for (const quillpack::PeSection& s : l.sections)
    if (!std::strcmp(s.name, ".qlpack")) stream = &s;
  ASSERT_NE(nullptr, stream);
  for (const uint32_t at : {uint32_t(16), stream->virtualSize / 2, stream->virtualSize - 1}) {
    Bytes damaged = packed.image;
    damaged[stream->rawPointer + at] ^= 0x5A;
    const std::wstring exe = Write(L"damaged.exe", damaged);
    const Outcome silent = RunProgram(exe, L"/InstallSlience true");
    EXPECT_EQ(3u, silent.exitCode) << "byte " << at << ": " << silent.output;
    EXPECT_EQ(std::string::npos, silent.output.find("base ")) << "byte " << at;
  }
  // The record lies outside the checksum: ranges that do not add up to the
  // stream are refused before anything is copied.
  const size_t record = packed.image.find(CODELOADER_MAGIC);
  ASSERT_NE(std::string::npos, record);
  for (const uint32_t count : {uint32_t(CODELOADER_MAX_RANGES + 1), uint32_t(1)}) {
    Bytes damaged = packed.image;
    quillpack::SetU32(damaged, record + offsetof(CodeLoaderRecord, rangeCount), count);
    const Outcome silent = RunProgram(Write(L"record.exe", damaged), L"/InstallSlience true");
    EXPECT_EQ(3u, silent.exitCode) << count << " ranges: " << silent.output;
  }
  // Under the harness, which reads and presses the box.
  Bytes damaged = packed.image;
  damaged[stream->rawPointer + stream->virtualSize / 3] ^= 0x01;
  harness::RunOptions options;
  options.commandLine = L"\"" + Write(L"damaged.exe", damaged) + L"\"";
  options.timeoutMs = 30000;
  const harness::RunResult shown = harness::Run(options);
  EXPECT_EQ(3u, shown.exitCode);
  ASSERT_EQ(1u, shown.boxes.size());
  EXPECT_EQ(L"This installer is damaged: its program code does not unpack. Download it again.", shown.boxes[0].text);
}

TEST(CodeLoaderPacking, StubWithoutTheLoaderStaysAsItIs) {
  const Bytes uninstaller = testsupport::ReadFileBytes(testsupport::BinPath(L"brixuninst_stub.exe"));
  const quillpack::CompressedStub packed = quillpack::CompressStubCode(uninstaller);
  EXPECT_EQ(uninstaller, packed.image);
  EXPECT_TRUE(packed.leftPlain.empty());
  EXPECT_EQ(0u, packed.codeBytes);
}

TEST(CodeLoaderPacking, CompressedStubIsRefusedASecondTime) {
  const quillpack::CompressedStub once =
      quillpack::CompressStubCode(testsupport::ReadFileBytes(testsupport::BinPath(L"brixsetup_stub.exe")));
  ASSERT_TRUE(once.leftPlain.empty()) << once.leftPlain;
  EXPECT_GT(once.codeBytes, 2 * once.packedBytes);
  try {
    quillpack::CompressStubCode(once.image);
    FAIL() << "compressed twice";
  } catch (const quillpack::PackError& e) {
    EXPECT_NE(std::string::npos, std::string(e.what()).find("already compressed")) << e.what();
  }
}

// What the loader could not put back leaves the stub uncompressed, and says
// why.
TEST(CodeLoaderPacking, StubTheLoaderCannotHandleStaysUncompressed) {
  const Bytes stub = testsupport::ReadFileBytes(testsupport::BinPath(L"brixsetup_stub.exe"));
  const quillpack::PeLayout l = quillpack::ReadPeLayout(stub);
  Bytes withSymbols = stub;
  quillpack::SetU32(withSymbols, l.coff + 8, uint32_t(stub.size()));
  quillpack::CompressedStub packed = quillpack::CompressStubCode(withSymbols);
  EXPECT_EQ(withSymbols, packed.image);
  EXPECT_NE(std::string::npos, packed.leftPlain.find("symbol table")) << packed.leftPlain;

  Bytes withLoadConfig = stub;
  quillpack::SetU32(withLoadConfig, l.Directory(10), 0x1000);
  quillpack::SetU32(withLoadConfig, l.Directory(10) + 4, 0x40);
  packed = quillpack::CompressStubCode(withLoadConfig);
  EXPECT_EQ(withLoadConfig, packed.image);
  EXPECT_NE(std::string::npos, packed.leftPlain.find("directory 10")) << packed.leftPlain;
}

}  // namespace
