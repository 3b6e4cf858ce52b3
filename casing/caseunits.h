// The case mapping of one UTF-16 code unit that every case rule uses, and that the word
// exceptions match by, so that a listed word matches exactly the texts the rules treat as the
// same word in another case.
#pragma once

#include <QChar>

inline char16_t UpperUnit(char16_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? char16_t(c - 0x20) : c;
    return QChar::toUpper(c);
}

inline char16_t LowerUnit(char16_t c)
{
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? char16_t(c + 0x20) : c;
    return QChar::toLower(c);
}
