#include "journal/journalpacking.h"

#include <algorithm>

namespace {

// The first byte of packed new values.
constexpr char Whole = 'W';
constexpr char Changes = 'C';

} // namespace

QByteArray JournalPacking::PackTexts(const QString &joined)
{
    // An empty list is kept as an empty text, not as a null (which the file refuses).
    const QByteArray packed = joined.toUtf8();
    return packed.isNull() ? QByteArray("", 0) : packed;
}

QString JournalPacking::UnpackTexts(const QByteArray &packed)
{
    return QString::fromUtf8(packed);
}

// Changes: the first byte, the mask (one bit per UTF-16 unit of the joined old values, lowest
// bit first), then the changed units in order, as UTF-8. A changed unit that is half of a surrogate
// pair has no UTF-8 form of its own, so such lists are kept whole.
QByteArray JournalPacking::PackNews(const QString &oldsJoined, const QString &newsJoined)
{
    const qsizetype size = oldsJoined.size();
    if (newsJoined.size() == size) {
        const qsizetype maskBytes = (size + 7) / 8;
        QByteArray packed(1 + maskBytes, '\0');
        packed[0] = Changes;
        uchar *mask = reinterpret_cast<uchar *>(packed.data()) + 1;
        QString changed(size, Qt::Uninitialized);
        QChar *next = changed.data();
        const char16_t *olds = reinterpret_cast<const char16_t *>(oldsJoined.constData());
        const char16_t *news = reinterpret_cast<const char16_t *>(newsJoined.constData());
        // Without a branch per unit: which units change follows no pattern.
        unsigned surrogates = 0;
        for (qsizetype i = 0; i < size; i += 8) {
            const qsizetype end = std::min(size, i + 8);
            unsigned bits = 0;
            for (qsizetype j = i; j < end; ++j) {
                const unsigned differs = news[j] != olds[j];
                surrogates |= differs & (unsigned((news[j] & 0xF800) == 0xD800) |
                                         unsigned((olds[j] & 0xF800) == 0xD800));
                bits |= differs << (j - i);
                *next = QChar(news[j]);
                next += differs;
            }
            mask[i / 8] = uchar(bits);
        }
        const bool whole = surrogates != 0;
        if (!whole) {
            changed.truncate(next - changed.constData());
            return packed + changed.toUtf8();
        }
    }
    return Whole + newsJoined.toUtf8();
}

std::optional<QString> JournalPacking::UnpackNews(const QString &oldsJoined,
                                                  const QByteArray &packed)
{
    if (packed.startsWith(Whole))
        return QString::fromUtf8(packed.mid(1));
    const qsizetype size = oldsJoined.size();
    const qsizetype maskBytes = (size + 7) / 8;
    if (!packed.startsWith(Changes) || packed.size() < 1 + maskBytes)
        return std::nullopt;
    const QString changed = QString::fromUtf8(packed.mid(1 + maskBytes));
    QString news = oldsJoined;
    QChar *units = news.data();
    qsizetype next = 0;
    for (qsizetype i = 0; i < size; ++i) {
        if (packed[1 + i / 8] & (1 << (i % 8))) {
            if (next == changed.size())
                return std::nullopt;
            units[i] = changed[next++];
        }
    }
    if (next != changed.size())
        return std::nullopt;
    return news;
}
