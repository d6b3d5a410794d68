// setup.exe's compressed code: the packer's side (which sections it takes,
// what it refuses) and the loader's (the program runs as linked, also when
// the system loads it away from its preferred address, and a damaged stream
// stops it with a clear exit code instead of running zeros).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

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

// The loader's record in an image, and where it lies in the file.
CodeLoaderRecord RecordOf(const Bytes& image, size_t* fileOffset = nullptr) {
  CodeLoaderRecord r{};
  const size_t at = image.find(Bytes(CODELOADER_MAGIC, CODELOADER_MAGIC_SIZE));
  EXPECT_NE(Bytes::npos, at);
  if (at != Bytes::npos) std::memcpy(&r, image.data() + at, sizeof r);
  if (fileOffset) *fileOffset = at;
  return r;
}

uint32_t RvaOfFileOffset(const quillpack::PeLayout& l, size_t offset) {
  for (const quillpack::PeSection& s : l.sections)
    if (s.rawSize && offset >= s.rawPointer && offset - s.rawPointer < s.rawSize)
      return uint32_t(s.virtualAddress + (offset - s.rawPointer));
  ADD_FAILURE() << "offset " << offset << " in no section";
  return 0;
}

bool Overlaps(uint64_t a, uint64_t aSize, uint64_t b, uint64_t bSize) {
  return aSize && bSize && a < b + bSize && b < a + aSize;
}

// What the system reads before the loader runs keeps its data; the code the
// loader fills in holds none in the file; the stream has a read-only section
// of its own at the image's end; and the record names the program's own entry
// point and base. Any of these wrong and the installer would not start, or
// start on zeros, on some machine.
TEST(CodeLoaderPacking, CompressedImageKeepsWhatTheSystemReadsFirst) {
  using namespace quillpack;
  for (const wchar_t* name : {L"brixsetup_stub.exe", L"loadertarget.exe"}) {
    SCOPED_TRACE(testing::Message() << std::string(name, name + std::wcslen(name)));
    const Bytes stub = testsupport::ReadFileBytes(testsupport::BinPath(name));
    const CompressedStub packed = CompressStubCode(stub);
    ASSERT_TRUE(packed.leftPlain.empty()) << packed.leftPlain;
    const PeLayout before = ReadPeLayout(stub), after = ReadPeLayout(packed.image);
    const CodeLoaderRecord r = RecordOf(packed.image);
    ASSERT_GT(r.rangeCount, 0u);
    ASSERT_LE(r.rangeCount, uint32_t(CODELOADER_MAX_RANGES));

    std::vector<std::pair<uint64_t, uint64_t>> kept;
    for (uint32_t d : {kExportDirectory, kImportDirectory, kResourceDirectory, kRelocationDirectory,
                       kImportAddressTableDirectory})
      kept.emplace_back(GetU32(stub, before.Directory(d)), GetU32(stub, before.Directory(d) + 4));
    const uint32_t tlsRva = GetU32(stub, before.Directory(kTlsDirectory));
    ASSERT_NE(0u, tlsRva);
    const PeSection* tlsSection = before.SectionAt(tlsRva);
    ASSERT_NE(nullptr, tlsSection);
    const size_t tls = tlsSection->rawPointer + (tlsRva - tlsSection->virtualAddress), p = before.PointerSize();
    const uint64_t base = before.ImageBase(stub);
    const uint64_t templateStart = p == 4 ? GetU32(stub, tls) : GetU64(stub, tls);
    const uint64_t templateEnd = p == 4 ? GetU32(stub, tls + p) : GetU64(stub, tls + p);
    kept.emplace_back(templateStart - base, templateEnd - templateStart);

    uint64_t total = 0;
    for (uint32_t i = 0; i < r.rangeCount; ++i) {
      const CodeLoaderRange& range = r.ranges[i];
      total += range.size;
      const PeSection* s = after.SectionAt(range.rva);
      ASSERT_NE(nullptr, s) << range.rva;
      EXPECT_EQ(s->virtualAddress, range.rva) << s->name;
      EXPECT_EQ(0u, s->rawSize) << s->name;
      EXPECT_STRNE(".qload", s->name);
      EXPECT_STRNE(".qldata", s->name);
      for (const auto& k : kept) EXPECT_FALSE(Overlaps(range.rva, range.size, k.first, k.second)) << s->name;
    }
    EXPECT_EQ(total, r.unpackedSize);
    EXPECT_EQ(total, packed.codeBytes);
    EXPECT_EQ(r.packedSize, packed.packedBytes);
    EXPECT_EQ(GetU32(stub, before.EntryPointField()), r.entryRva);
    EXPECT_EQ(base, r.preferredBase);

    const PeSection* entry = after.SectionAt(GetU32(packed.image, after.EntryPointField()));
    ASSERT_NE(nullptr, entry);
    EXPECT_STREQ(".qload", entry->name);
    const PeSection* tlsNow = after.SectionAt(GetU32(packed.image, after.Directory(kTlsDirectory)));
    ASSERT_NE(nullptr, tlsNow);
    EXPECT_STREQ(".qldata", tlsNow->name);

    const PeSection& stream = after.sections.back();
    EXPECT_STREQ(".qlpack", stream.name);
    EXPECT_EQ(r.packedRva, stream.virtualAddress);
    EXPECT_LE(r.packedSize, stream.rawSize);
    EXPECT_EQ(kInitializedReadOnly, stream.characteristics);
    EXPECT_EQ(AlignUp(uint64_t(stream.virtualAddress) + stream.virtualSize, after.sectionAlignment),
              GetU32(packed.image, after.SizeOfImageField()));
  }
}

// The loader applies only whole-address relocations again, and its own
// record's addresses must move with the image: a stub where either does not
// hold is packed as linked, or refused, never compressed into a program that
// would run with wrong addresses when loaded away from its preferred base.
TEST(CodeLoaderPacking, RelocationsDecideWhetherTheCodeIsCompressed) {
  using namespace quillpack;
  const Bytes stub = testsupport::ReadFileBytes(testsupport::BinPath(L"brixsetup_stub.exe"));
  const PeLayout l = ReadPeLayout(stub);
  const CodeLoaderRecord compressed = RecordOf(CompressStubCode(stub).image);
  size_t recordAt = 0;
  RecordOf(stub, &recordAt);
  const uint32_t slots = RvaOfFileOffset(l, recordAt) + uint32_t(sizeof(CodeLoaderRecord));

  const uint32_t relocRva = GetU32(stub, l.Directory(kRelocationDirectory));
  const uint32_t relocSize = GetU32(stub, l.Directory(kRelocationDirectory) + 4);
  const PeSection* relocSection = l.SectionAt(relocRva);
  ASSERT_NE(nullptr, relocSection);
  const size_t table = relocSection->rawPointer + (relocRva - relocSection->virtualAddress);
  size_t inCode = 0, slot = 0;  // file offsets of two entries
  for (size_t at = table; at + 8 <= table + relocSize && (!inCode || !slot); at += GetU32(stub, at + 4)) {
    const uint32_t page = GetU32(stub, at);
    for (size_t e = at + 8; e < at + GetU32(stub, at + 4); e += 2) {
      const uint16_t entry = GetU16(stub, e);
      const uint32_t rva = page + (entry & 0xFFF);
      if (entry >> 12 == 0) continue;
      if (rva == slots) slot = e;
      for (uint32_t i = 0; i < compressed.rangeCount && !inCode; ++i)
        if (rva >= compressed.ranges[i].rva && rva + 8 <= compressed.ranges[i].rva + compressed.ranges[i].size)
          inCode = e;
    }
  }
  ASSERT_NE(0u, inCode);
  ASSERT_NE(0u, slot);

  // IMAGE_REL_BASED_HIGH (1), which the loader would skip.
  Bytes highHalf = stub;
  SetU16(highHalf, inCode, uint16_t(1 << 12 | (GetU16(stub, inCode) & 0xFFF)));
  const CompressedStub plain = CompressStubCode(highHalf);
  EXPECT_EQ(highHalf, plain.image);
  EXPECT_NE(std::string::npos, plain.leftPlain.find("type 1")) << plain.leftPlain;

  // The first of the loader's address slots without its relocation.
  Bytes unrelocated = stub;
  SetU16(unrelocated, slot, uint16_t(GetU16(stub, slot) & 0xFFF));
  try {
    CompressStubCode(unrelocated);
    FAIL() << "compressed with a loader address the system does not relocate";
  } catch (const PackError& e) {
    EXPECT_NE(std::string::npos, std::string(e.what()).find("without a relocation")) << e.what();
  }
}

}  // namespace
