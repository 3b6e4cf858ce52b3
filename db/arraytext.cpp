#include "db/arraytext.h"

std::optional<QString> ApplyCaseModeToArrayText(CaseMode mode, QStringView text,
                                                const WordExceptions *words)
{
    QString result;
    result.reserve(text.size());
    qsizetype i = 0;
    const qsizetype n = text.size();
    // Explicit bounds come first: "[0:1]={a,b}".
    if (i < n && text[i] == u'[') {
        const qsizetype equals = text.indexOf(u'=');
        if (equals < 0)
            return std::nullopt;
        result += text.first(equals + 1);
        i = equals + 1;
    }
    int depth = 0;
    bool element = false; // an element may start here: after '{' or ','
    while (i < n) {
        const QChar c = text[i];
        if (c == u'{') {
            ++depth;
            result += c;
            ++i;
            element = true;
        } else if (c == u'}' || c == u',') {
            if (depth == 0)
                return std::nullopt;
            depth -= c == u'}';
            result += c;
            ++i;
            element = c == u',';
            if (depth == 0)
                break;
        } else if (!element) {
            return std::nullopt;
        } else if (c == u'"') {
            // A quoted element: backslashes escape quotes and backslashes.
            QString value;
            for (++i; i < n && text[i] != u'"'; ++i) {
                if (text[i] == u'\\' && ++i == n)
                    return std::nullopt;
                value += text[i];
            }
            if (i == n)
                return std::nullopt;
            ++i;
            result += u'"';
            for (const QChar converted : ApplyCaseMode(mode, std::move(value), words)) {
                if (converted == u'"' || converted == u'\\')
                    result += u'\\';
                result += converted;
            }
            result += u'"';
            element = false;
        } else {
            // A bare element holds no quotes, braces, commas or blanks; NULL is a null.
            qsizetype end = i;
            while (end < n && text[end] != u',' && text[end] != u'}')
                ++end;
            const QStringView bare = text.sliced(i, end - i);
            result +=
                bare == u"NULL" ? bare.toString() : ApplyCaseMode(mode, bare.toString(), words);
            i = end;
            element = false;
        }
    }
    if (depth != 0 || i != n)
        return std::nullopt;
    return result;
}
