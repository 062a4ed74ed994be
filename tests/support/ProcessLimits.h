#pragma once

#include <QtGlobal>
#include <sys/resource.h>

class QProcess;

// AddressSanitizer reserves terabytes of address space for itself: a limit on the address
// space cannot be tried under it.
#if defined(__SANITIZE_ADDRESS__)
#define ADDRESS_SPACE_LIMITS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ADDRESS_SPACE_LIMITS 0
#endif
#endif
#ifndef ADDRESS_SPACE_LIMITS
#define ADDRESS_SPACE_LIMITS 1
#endif

// The process started next by `process` may write files of at most `bytes` (a full disk
// as a save meets it: a write beyond fails, SIGXFSZ ignored so that it is not killed).
void limitFileSize(QProcess &process, qint64 bytes);

// The same for this process while the object lives.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool isSet() const { return m_set; }

private:
    rlimit m_old{};
    bool m_set = false;
};
