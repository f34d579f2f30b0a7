#include "host/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

bool ReadSmallRegularFile(const std::string& path, size_t maxBytes, std::string& content) {
  content.clear();
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
            static_cast<unsigned long long>(info.st_size) <= maxBytes;
  if (ok) {
    content.assign(static_cast<size_t>(info.st_size), '\0');
    size_t total = 0;
    while (total < content.size()) {
      const ssize_t n = ::read(fd, &content[total], content.size() - total);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ok = false;
      if (n <= 0) break;
      total += static_cast<size_t>(n);
    }
    // The file may have shrunk since fstat; one that grew is read up to its size then.
    content.resize(total);
  }
  ::close(fd);
  if (!ok) content.clear();
  return ok;
}
