#ifndef QUILL_CODELOADERRECORD_H
#define QUILL_CODELOADERRECORD_H
/* What the packer and the stub's code loader agree on: the record the packer
   finds in the stub's ".qldata" section by its magic and fills in when it
   compresses the stub's code. Read by C (the loader) and C++ (the packer),
   on either word size: fixed-width fields only, every one naturally aligned.
*/
#include <stdint.h>

#define CODELOADER_MAGIC "QuillCodeLoader1"
#define CODELOADER_MAGIC_SIZE 16
#define CODELOADER_MAX_RANGES 16
#define CODELOADER_PROPS_SIZE 5

/* Sections the system maps empty and the loader fills from the stream. */
typedef struct CodeLoaderRange {
  uint32_t rva;
  uint32_t size; /* bytes of the stream that go there (the section's file data) */
} CodeLoaderRange;

typedef struct CodeLoaderRecord {
  char magic[CODELOADER_MAGIC_SIZE];
  uint32_t packedRva;    /* the LZMA stream, in a section of its own */
  uint32_t packedSize;
  uint32_t unpackedSize; /* sum of the ranges' sizes */
  uint32_t crc;          /* CRC-32 of the unpacked bytes, after the x86 filter is undone */
  uint32_t entryRva;     /* the program's own entry point */
  uint32_t rangeCount;   /* 0: nothing is compressed (the stub as linked) */
  uint64_t preferredBase;
  uint8_t props[CODELOADER_PROPS_SIZE];
  uint8_t reserved[3];
  CodeLoaderRange ranges[CODELOADER_MAX_RANGES];
} CodeLoaderRecord;

/* After the record, in this order: the loader's TLS directory
   (IMAGE_TLS_DIRECTORY, 24 bytes in a PE32 image, 40 in a PE32+ one), the
   two-entry callback list it names, the loader's entry point and the
   program's own callback list; all addresses, pointer-sized. */
#define CODELOADER_TLS_SIZE(pointerSize) ((pointerSize) == 4 ? 24u : 40u)

#endif
