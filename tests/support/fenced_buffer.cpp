#include "support/fenced_buffer.h"

#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace morvex::test {
namespace {

std::size_t PageSize() {
#if defined(_WIN32)
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
#else
  return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
}

std::uint8_t* MapPages(std::size_t bytes) {
#if defined(_WIN32)
  return static_cast<std::uint8_t*>(VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT,
                                                 PAGE_READWRITE));
#else
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(p);
#endif
}

void Protect(std::uint8_t* page, std::size_t bytes) {
#if defined(_WIN32)
  DWORD old;
  VirtualProtect(page, bytes, PAGE_NOACCESS, &old);
#else
  mprotect(page, bytes, PROT_NONE);
#endif
}

void Unmap(std::uint8_t* p, std::size_t bytes) {
#if defined(_WIN32)
  (void)bytes;
  VirtualFree(p, 0, MEM_RELEASE);
#else
  munmap(p, bytes);
#endif
}

}  // namespace

FencedBuffer::FencedBuffer(std::size_t bytes, FenceSide side) : size_(bytes) {
  const std::size_t page = PageSize();
  const std::size_t dataPages = (bytes + page - 1) / page + (bytes == 0 ? 1 : 0);
  mappingBytes_ = (dataPages + 1) * page;
  mapping_ = MapPages(mappingBytes_);
  if (mapping_ == nullptr) std::abort();
  const std::size_t usable = dataPages * page;
  slackBytes_ = usable - bytes;
  if (side == FenceSide::kAfter) {
    Protect(mapping_ + usable, page);
    slack_ = mapping_;
    data_ = mapping_ + slackBytes_;
  } else {
    Protect(mapping_, page);
    data_ = mapping_ + page;
    slack_ = data_ + bytes;
  }
  std::memset(slack_, kGuardPattern, slackBytes_);
}

FencedBuffer::~FencedBuffer() { Unmap(mapping_, mappingBytes_); }

bool FencedBuffer::SlackIntact() const {
  for (std::size_t i = 0; i < slackBytes_; ++i)
    if (slack_[i] != kGuardPattern) return false;
  return true;
}

}  // namespace morvex::test
