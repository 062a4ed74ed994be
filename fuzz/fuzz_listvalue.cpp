// Reads arbitrary bytes as a list value; what a list writes must read back as the list.
#include "config/ValueForms.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray value(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArrayList names = ValueForms::decodeList(value);
    for (const QByteArray &n : names) {
        if (n.contains('\0'))
            std::abort();
    }
    const QByteArray written = ValueForms::encodeList(names);
    if (ValueForms::decodeList(written) != names)
        std::abort();
    return 0;
}
