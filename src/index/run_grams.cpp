#include "index/run_grams.h"

#include "index/file_record.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

namespace {

// The name bytes numbered from 0, every other byte -1: a gram's number fits 25 bits, and with
// its slot an int4 of the server.
constexpr int nameByteCount = 65;
const std::array<int, 256> &nameByteNumbers()
{
    static const std::array<int, 256> numbers = [] {
        std::array<int, 256> numbered{};
        int next = 0;
        for (int byte = 0; byte < 256; ++byte)
            numbered[byte] = isNameByte(char(byte)) ? next++ : -1;
        Q_ASSERT(next == nameByteCount);
        return numbered;
    }();
    return numbers;
}
static_assert(qint64(nameByteCount) * nameByteCount * nameByteCount * nameByteCount * gramSlots <=
              std::numeric_limits<qint32>::max());

std::optional<qint32> gramNumber(const char *gram)
{
    const std::array<int, 256> &numbers = nameByteNumbers();
    qint32 number = 0;
    for (int i = 0; i < gramLength; ++i) {
        const int byte = numbers[quint8(gram[i])];
        if (byte < 0)
            return std::nullopt;
        number = number * nameByteCount + byte;
    }
    return number;
}

void keepDistinct(QList<qint32> &keys)
{
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
}

} // namespace

QList<qint32> runGramKeys(QByteArrayView runs)
{
    QList<qint32> keys;
    keys.reserve(runs.size());
    qsizetype slot = 0;
    qsizetype start = 0;
    while (start < runs.size()) {
        qsizetype end = runs.indexOf('\n', start);
        if (end < 0)
            end = runs.size();
        for (qsizetype at = start; at + gramLength <= end; ++at) {
            if (const std::optional<qint32> number = gramNumber(runs.data() + at))
                keys.append(*number * gramSlots + qint32(slot % gramSlots));
        }
        ++slot;
        start = end + 1;
    }
    keepDistinct(keys);
    return keys;
}

QList<QList<qint32>> needleGramKeys(QByteArrayView needle)
{
    if (needle.size() < gramLength)
        return {};
    // grams that cover the needle without overlap, and its last: fewer keys for the server to
    // read, still all in one run
    QList<qint32> numbers;
    for (qsizetype at = 0;; at = std::min(at + gramLength, needle.size() - gramLength)) {
        const std::optional<qint32> number = gramNumber(needle.data() + at);
        if (!number)
            return {};
        numbers.append(*number);
        if (at == needle.size() - gramLength)
            break;
    }
    keepDistinct(numbers);
    QList<QList<qint32>> bySlot;
    for (qint32 slot = 0; slot < gramSlots; ++slot) {
        QList<qint32> keys;
        for (const qint32 number : std::as_const(numbers))
            keys.append(number * gramSlots + slot);
        bySlot.append(keys);
    }
    return bySlot;
}

QByteArray arrayLiteral(const QList<qint32> &keys)
{
    QByteArray literal = "{";
    for (const qint32 key : keys) {
        if (literal.size() > 1)
            literal.append(',');
        literal.append(QByteArray::number(key));
    }
    return literal + '}';
}
