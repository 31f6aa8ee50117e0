#include "text/cp932.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>

namespace zumen {

namespace {

const iconv_t kInvalid = reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1));

// Owns one conversion descriptor; iconv_t is not thread-safe, so each call makes its own.
class Iconv {
public:
    Iconv(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (valid())
            iconv_close(m_cd);
    }
    Iconv(const Iconv &) = delete;
    Iconv &operator=(const Iconv &) = delete;

    bool valid() const { return m_cd != kInvalid; }

    // Converts the whole input into out (which must be large enough); false on any error.
    bool convert(const char *in, std::size_t inLength, char *out, std::size_t &outLength)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char *inPtr = const_cast<char *>(in);
        char *outPtr = out;
        std::size_t outLeft = outLength;
        if (iconv(m_cd, &inPtr, &inLength, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
            return false;
        if (iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
            return false;
        outLength = outLength - outLeft;
        return true;
    }

private:
    iconv_t m_cd;
};

// Encodes one code point at a time, so an unrepresentable character costs exactly one '?'.
class Encoder {
public:
    Encoder() : m_iconv("CP932", "UTF-32LE") {}

    // Appends the cp932 bytes of the code point at text[pos] to out (if given);
    // returns the number of UTF-16 units consumed and sets bytes to the encoded length.
    int encodeAt(const QString &text, qsizetype pos, int &bytes, QByteArray *out)
    {
        char32_t cp = text.at(pos).unicode();
        int units = 1;
        if (QChar::isHighSurrogate(cp) && pos + 1 < text.size() && text.at(pos + 1).isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text.at(pos), text.at(pos + 1));
            units = 2;
        }
        std::array<char, 4> in{};
        for (int i = 0; i < 4; ++i)
            in[i] = static_cast<char>((cp >> (8 * i)) & 0xFF);
        std::array<char, 8> buf{};
        std::size_t length = buf.size();
        // Lone surrogates are rejected by the converter like any unmapped character.
        if (!m_iconv.valid() || !m_iconv.convert(in.data(), in.size(), buf.data(), length)) {
            // Without a converter ASCII still passes through; anything else is unrepresentable.
            buf[0] = (!m_iconv.valid() && cp < 0x80) ? static_cast<char>(cp) : '?';
            length = 1;
        }
        bytes = static_cast<int>(length);
        if (out)
            out->append(buf.data(), static_cast<qsizetype>(length));
        return units;
    }

private:
    Iconv m_iconv;
};

} // namespace

QByteArray toCp932(const QString &text)
{
    Encoder encoder;
    QByteArray result;
    result.reserve(text.size() * 2);
    int bytes = 0;
    for (qsizetype pos = 0; pos < text.size();)
        pos += encoder.encodeAt(text, pos, bytes, &result);
    return result;
}

std::optional<QString> fromCp932(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QString();
    Iconv iconv("UTF-8", "CP932");
    if (!iconv.valid())
        return std::nullopt;
    // One cp932 byte never yields more than three UTF-8 bytes.
    QByteArray out(bytes.size() * 3 + 4, Qt::Uninitialized);
    std::size_t outLength = static_cast<std::size_t>(out.size());
    if (!iconv.convert(bytes.constData(), static_cast<std::size_t>(bytes.size()), out.data(), outLength))
        return std::nullopt;
    out.truncate(static_cast<qsizetype>(outLength));
    return QString::fromUtf8(out);
}

int cp932Length(const QString &text)
{
    Encoder encoder;
    int total = 0;
    int bytes = 0;
    for (qsizetype pos = 0; pos < text.size();) {
        pos += encoder.encodeAt(text, pos, bytes, nullptr);
        total += bytes;
    }
    return total;
}

int cp932PrefixLength(const QString &text, int maxBytes)
{
    Encoder encoder;
    int total = 0;
    int bytes = 0;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const int units = encoder.encodeAt(text, pos, bytes, nullptr);
        if (total + bytes > maxBytes)
            break;
        total += bytes;
        pos += units;
    }
    return static_cast<int>(pos);
}

} // namespace zumen
