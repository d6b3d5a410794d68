/* The stub's code loader. The packer may compress the stub's code and
   read-only data into one LZMA stream (x86 branch filter first), leave those
   sections empty in setup.exe and make this file's entry point and TLS
   callback the image's. The system then maps the sections as zeros and calls
   the callback before anything else of the program runs; it unpacks the
   stream into place, applies the relocations the system applied to the
   zeros, and hands over to the program's own callbacks and entry point.
   Nothing runs from the compressed sections before that, so this file and the
   decoder it includes are built into sections of their own (.qload, .qldata;
   see CMakeLists.txt) and call nothing but imported system functions. In the
   stub as linked the record says nothing is compressed and none of this
   code runs. */
#include <string.h>
#include <windows.h>

#include "codeloaderrecord.h"

/* The decoder's one copy, which must not go to the C runtime. */
void *CodeLoaderCopy(void *to, const void *from, size_t size);
#define memcpy CodeLoaderCopy
#include "LzmaDec.c"
#include "Bra86.c"

void *CodeLoaderCopy(void *to, const void *from, size_t size) {
  unsigned char *t = (unsigned char *)to;
  const unsigned char *f = (const unsigned char *)from;
  while (size--) *t++ = *f++;
  return to;
}

extern IMAGE_DOS_HEADER __ImageBase;

enum { kPending, kUnpacked, kFailed };

static void NTAPI CodeLoaderTlsCallback(PVOID module, DWORD reason, PVOID reserved);
int CodeLoaderEntry(void);

typedef struct CodeLoaderImage {
  CodeLoaderRecord record;
  IMAGE_TLS_DIRECTORY tls;
  PIMAGE_TLS_CALLBACK callbacks[2];
  int (*entry)(void);
  PIMAGE_TLS_CALLBACK *originalCallbacks;
  volatile LONG state;
} CodeLoaderImage;

/* The address fields hold this record's own address only so that the linker
   gives each of them a relocation: the packer writes the program's TLS
   addresses into them. */
CodeLoaderImage codeLoaderImage = {
    {CODELOADER_MAGIC, 0, 0, 0, 0, 0, 0, 0, {0}, {0}, {{0, 0}}},
    {(ULONG_PTR)&codeLoaderImage, (ULONG_PTR)&codeLoaderImage, (ULONG_PTR)&codeLoaderImage,
     (ULONG_PTR)codeLoaderImage.callbacks, 0, 0},
    {CodeLoaderTlsCallback, 0},
    CodeLoaderEntry,
    (PIMAGE_TLS_CALLBACK *)&codeLoaderImage,
    kPending,
};

static void *Allocate(ISzAllocPtr p, size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }
static void Release(ISzAllocPtr p, void *address) {
  if (address) HeapFree(GetProcessHeap(), 0, address);
}
static const ISzAlloc allocator = {Allocate, Release};

static UInt32 Crc32(const Byte *data, SizeT size) {
  UInt32 table[256], crc = 0xFFFFFFFF;
  for (UInt32 i = 0; i < 256; ++i) {
    UInt32 r = i;
    for (int k = 0; k < 8; ++k) r = (r >> 1) ^ (0xEDB88320 & (0 - (r & 1)));
    table[i] = r;
  }
  for (SizeT i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

static int InRange(const CodeLoaderRecord *r, DWORD rva) {
  for (uint32_t i = 0; i < r->rangeCount; ++i)
    if (rva >= r->ranges[i].rva && rva - r->ranges[i].rva < r->ranges[i].size) return 1;
  return 0;
}

/* The system relocated the zeros; the same entries, for the pages the
   stream filled. The packer made sure these use no other kinds. */
static void Relocate(BYTE *base, const CodeLoaderRecord *r) {
  const ULONG_PTR delta = (ULONG_PTR)base - (ULONG_PTR)r->preferredBase;
  if (delta == 0) return;
  const IMAGE_NT_HEADERS *nt = (const IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
  const BYTE *at = base + dir.VirtualAddress, *end = at + dir.Size;
  while (end - at >= (ptrdiff_t)sizeof(IMAGE_BASE_RELOCATION)) {
    const IMAGE_BASE_RELOCATION *block = (const IMAGE_BASE_RELOCATION *)at;
    if (block->SizeOfBlock < sizeof *block || block->SizeOfBlock > (DWORD)(end - at)) break;
    if (InRange(r, block->VirtualAddress)) {
      const WORD *e = (const WORD *)(block + 1), *stop = (const WORD *)(at + block->SizeOfBlock);
      for (; e < stop; ++e) {
        BYTE *p = base + block->VirtualAddress + (*e & 0xFFF);
        if ((*e >> 12) == IMAGE_REL_BASED_HIGHLOW) *(DWORD *)p += (DWORD)delta;
#ifdef _WIN64
        else if ((*e >> 12) == IMAGE_REL_BASED_DIR64) *(ULONGLONG *)p += delta;
#endif
      }
    }
    at += block->SizeOfBlock;
  }
}

static int Unpack(void) {
  const CodeLoaderRecord *r = &codeLoaderImage.record;
  BYTE *base = (BYTE *)&__ImageBase;
  /* The system wrote the TLS index before calling us; it may lie in a page
     the stream fills. */
  DWORD *index = (DWORD *)codeLoaderImage.tls.AddressOfIndex;
  const DWORD savedIndex = *index;
  DWORD protection[CODELOADER_MAX_RANGES], ignored;
  uint32_t i, unprotected = 0, total = 0;
  int ok;

  /* The record is outside the checksum: a damaged one must not send the
     copies astray. */
  if (r->rangeCount > CODELOADER_MAX_RANGES) return kFailed;
  for (i = 0; i < r->rangeCount; ++i) total += r->ranges[i].size;
  if (total != r->unpackedSize) return kFailed;

  /* Decoded aside first: a damaged stream leaves the image as it was. */
  Byte *unpacked = (Byte *)VirtualAlloc(NULL, r->unpackedSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!unpacked) return kFailed;
  SizeT outSize = r->unpackedSize, inSize = r->packedSize;
  ELzmaStatus status;
  ok = LzmaDecode(unpacked, &outSize, base + r->packedRva, &inSize, r->props, CODELOADER_PROPS_SIZE,
                  LZMA_FINISH_END, &status, &allocator) == SZ_OK &&
       outSize == r->unpackedSize && inSize == r->packedSize;
  if (ok) {
    UInt32 x86 = Z7_BRANCH_CONV_ST_X86_STATE_INIT_VAL;
    z7_BranchConvSt_X86_Dec(unpacked, outSize, 0, &x86);
    ok = Crc32(unpacked, outSize) == r->crc;
  }
  for (i = 0; ok && i < r->rangeCount; ++i) {
    ok = VirtualProtect(base + r->ranges[i].rva, r->ranges[i].size, PAGE_READWRITE, &protection[i]);
    if (ok) ++unprotected;
  }
  if (ok) {
    const Byte *from = unpacked;
    for (i = 0; i < r->rangeCount; ++i) {
      CodeLoaderCopy(base + r->ranges[i].rva, from, r->ranges[i].size);
      from += r->ranges[i].size;
    }
    Relocate(base, r);
    *index = savedIndex;
  }
  for (i = 0; i < unprotected; ++i)
    VirtualProtect(base + r->ranges[i].rva, r->ranges[i].size, protection[i], &ignored);
  if (ok) FlushInstructionCache(GetCurrentProcess(), NULL, 0);
  VirtualFree(unpacked, 0, MEM_RELEASE);
  return ok ? kUnpacked : kFailed;
}

/* Once, on the first call: the system's first TLS callback, before any
   thread of the program exists. */
static int Ready(void) {
  if (codeLoaderImage.state == kPending) codeLoaderImage.state = Unpack();
  return codeLoaderImage.state == kUnpacked;
}

static void NTAPI CodeLoaderTlsCallback(PVOID module, DWORD reason, PVOID reserved) {
  PIMAGE_TLS_CALLBACK *next;
  if (!Ready()) return; /* the entry point says why */
  for (next = codeLoaderImage.originalCallbacks; next && *next; ++next) (*next)(module, reason, reserved);
}

static int Contains(const WCHAR *text, const WCHAR *word) {
  for (; *text; ++text) {
    const WCHAR *a = text, *b = word;
    while (*b && *a == *b) ++a, ++b;
    if (!*b) return 1;
  }
  return 0;
}

int CodeLoaderEntry(void) {
  BYTE *base = (BYTE *)&__ImageBase;
  if (Ready()) return ((int (*)(void))(base + codeLoaderImage.record.entryRva))();
  /* A silent install has nobody to read a box. */
  if (!Contains(GetCommandLineW(), L"InstallSlience"))
    MessageBoxW(NULL,
                L"This installer is damaged: its program code does not unpack. Download it again.",
                L"Setup", MB_OK | MB_ICONERROR);
  ExitProcess(3);
  return 3;
}
