// Reads arbitrary bytes as a binary value; encoding any bytes must decode back to them.
#include "config/ValueForms.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray value(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray decoded = ValueForms::decodeBinary(value);
    if (decoded.size() > value.size() / 2)
        std::abort();
    if (ValueForms::decodeBinary(ValueForms::encodeBinary(value)) != value)
        std::abort();
    return 0;
}
