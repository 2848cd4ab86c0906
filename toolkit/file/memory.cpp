// How the process keeps the memory of pictures. A camera picture takes tens of megabytes
// as a bitmap, and every import and export makes and frees a few of them. Served from
// fresh mappings, each costs its pages anew (a page fault and a cleared page for every
// 4 KiB); kept in the heap, the next picture reuses them. So blocks up to 128 MiB come
// from the heap, and the heap gives back only what lies above 256 MiB at its top.
#include <malloc.h>

namespace {

__attribute__((constructor)) void keepPictureMemory() {
  mallopt(M_MMAP_THRESHOLD, 128 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

}  // namespace
