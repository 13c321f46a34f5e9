// Local files for the file transfers: sequential reading and writing, size,
// end of file, flushing and the probes the transfer thread makes before it
// starts an entry. File names are UTF-16 text (wide calls on Windows, UTF-8
// paths on Linux). Failures raise PlatformError with the system's code.
#ifndef QVN_PLATFORM_FILES_H_
#define QVN_PLATFORM_FILES_H_

#include <cstddef>
#include <cstdint>

#include "base/text.h"

namespace qvn::platform {

class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // An existing regular file for reading from position 0; others may go on
  // reading and writing it meanwhile. Never blocks on a FIFO or device.
  static File OpenForSharedRead(const Text& name);
  // A new file for writing at position 0; others may read it but not write
  // it. With must_be_new an existing file makes it fail; otherwise an
  // existing file is emptied.
  static File Create(const Text& name, bool must_be_new);
  // A new file (never an existing one) that only its owner may read until its
  // permissions are set (Linux: mode 0600; Windows: as Create).
  static File CreateNewPrivate(const Text& name);
  // An existing file for writing at position 0, its content left as it is
  // until written (never created, never emptied).
  static File OpenExistingForWrite(const Text& name);
  // A file for writing at its end (each write lands there even when others
  // append too), created when missing (Linux: mode 0600).
  static File OpenForAppend(const Text& name);

  bool IsOpen() const { return handle_ != kNoHandle; }
  // Up to n bytes from the current position; 0 at the end of the file.
  size_t Read(uint8_t* data, size_t n);
  // All n bytes at the current position, or raises.
  void Write(const uint8_t* data, size_t n);
  int64_t Size() const;
  int64_t Position() const;
  // Sets the file's size (cutting or extending it) and moves the position
  // there. A negative size raises.
  void SetEndOfFile(int64_t size);
  // Writes the file's data through to the disk (fsync / FlushFileBuffers).
  void Flush();
  // Closes and raises when the system reports a deferred write error.
  void CloseOrRaise();
  // Harmless when not open. Raises nothing.
  void Close() noexcept;

 private:
  static constexpr intptr_t kNoHandle = -1;
  explicit File(intptr_t handle) : handle_(handle) {}
  intptr_t handle_ = kNoHandle;
};

// True for an existing regular file (a folder or a device does not count).
bool IsRegularFile(const Text& name);

// Deletes a file; false when it could not be deleted. Raises nothing.
bool RemoveFile(const Text& name) noexcept;

// Is the file unavailable for an exclusive read? True when it is missing, is
// not a regular file, or is held by somebody else; also on any unexpected
// failure. Never raises.
//  - Windows: CreateFileW(GENERIC_READ, share mode 0, OPEN_EXISTING) fails,
//    which it does while any other handle to the file is open, even for
//    reading.
//  - Linux has no mandatory share modes. The closest honest equivalent: the
//    file must open O_RDONLY, be a regular file, and take a non-blocking
//    exclusive flock(). It therefore notices only holders that lock the file
//    with flock() (or take a read lock through it); a program that merely
//    has the file open without locking is not detected.
bool IsFileInUse(const Text& name) noexcept;

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_FILES_H_
