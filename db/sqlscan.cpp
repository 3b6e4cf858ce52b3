#include "db/sqlscan.h"

namespace {

bool identifierStart(QChar c)
{
    return c.isLetter() || c == u'_' || c.unicode() >= 0x80;
}

bool identifierPart(QChar c)
{
    return identifierStart(c) || c.isDigit() || c == u'$';
}

bool digit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

class Scan
{
public:
    explicit Scan(QStringView text) : text_(text) {}

    QString problem()
    {
        while (i_ < text_.size()) {
            const QString found = token();
            if (!found.isEmpty())
                return found;
        }
        if (depth_[0] > 0 || depth_[1] > 0)
            return QStringLiteral("a parenthesis or bracket is opened and not closed");
        return {};
    }

private:
    QChar at(qsizetype i) const { return i < text_.size() ? text_[i] : QChar(); }

    // One token from i_; what is wrong, if anything.
    QString token()
    {
        const QChar c = text_[i_];
        if (c == u'-' && at(i_ + 1) == u'-') {
            while (i_ < text_.size() && text_[i_] != u'\n' && text_[i_] != u'\r')
                ++i_;
            return {};
        }
        if (c == u'/' && at(i_ + 1) == u'*')
            return comment();
        if (c == u'\'')
            return quoted(u'\'', false, QStringLiteral("a string is opened and not closed"));
        if (c == u'"')
            return quoted(u'"', false, QStringLiteral("a quoted name is opened and not closed"));
        if (c == u'$')
            return dollar();
        if (identifierStart(c)) {
            const qsizetype start = i_;
            while (i_ < text_.size() && identifierPart(text_[i_]))
                ++i_;
            // E'...' alone takes backslash escapes; xE'...' is a name and a plain string.
            if (i_ - start == 1 && (c == u'E' || c == u'e') && at(i_) == u'\'')
                return quoted(u'\'', true, QStringLiteral("a string is opened and not closed"));
            return {};
        }
        if (digit(c) || (c == u'.' && digit(at(i_ + 1))))
            return number();
        ++i_;
        switch (c.unicode()) {
        case u';':
            return QStringLiteral("\";\" would end the statement and begin another");
        case u'?':
            return QStringLiteral("\"?\" outside a string stands for a parameter to the ODBC "
                                  "driver; the jsonb operators ?, ?| and ?& have functions of "
                                  "their own (jsonb_exists, jsonb_exists_any, jsonb_exists_all)");
        case u'{':
        case u'}':
            return QStringLiteral("braces outside a string are escapes of the ODBC driver");
        case u'\0':
            return QStringLiteral("a null character cannot be sent to the server");
        case u'(':
        case u'[':
            ++depth_[c == u'[' ? 1 : 0];
            return {};
        case u')':
        case u']':
            if (--depth_[c == u']' ? 1 : 0] < 0)
                return QStringLiteral("a parenthesis or bracket is closed that was not opened");
            return {};
        default:
            return {};
        }
    }

    // A comment, which nests.
    QString comment()
    {
        int depth = 0;
        while (i_ < text_.size()) {
            if (text_[i_] == u'/' && at(i_ + 1) == u'*') {
                ++depth;
                i_ += 2;
            } else if (text_[i_] == u'*' && at(i_ + 1) == u'/') {
                i_ += 2;
                if (--depth == 0)
                    return {};
            } else {
                ++i_;
            }
        }
        return QStringLiteral("a comment is opened with /* and not closed");
    }

    // From the opening quote at i_ to the closing one; a doubled quote stands for itself, and
    // with escapes a backslash takes the character after it. A string goes on in the next
    // quote after a line break, with the same escapes.
    QString quoted(QChar quote, bool escapes, const QString &open)
    {
        for (++i_; i_ < text_.size(); ++i_) {
            if (escapes && text_[i_] == u'\\') {
                ++i_;
            } else if (text_[i_] == quote) {
                if (at(i_ + 1) == quote) {
                    ++i_;
                    continue;
                }
                const qsizetype next = quote == u'\'' ? continuation(i_ + 1) : -1;
                if (next < 0) {
                    ++i_;
                    return {};
                }
                i_ = next;
            }
        }
        return open;
    }

    // Where a string that ends before `from` goes on: the quote after blanks that hold a line
    // break (and maybe "--" comments, each ended by one); -1 when none.
    qsizetype continuation(qsizetype from) const
    {
        bool newline = false;
        qsizetype i = from;
        while (i < text_.size()) {
            const QChar c = text_[i];
            if (c == u'\n' || c == u'\r') {
                newline = true;
                ++i;
            } else if (c == u' ' || c == u'\t' || c == u'\f' || c == u'\v') {
                ++i;
            } else if (newline && c == u'-' && at(i + 1) == u'-') {
                while (i < text_.size() && text_[i] != u'\n' && text_[i] != u'\r')
                    ++i;
            } else {
                break;
            }
        }
        return newline && at(i) == u'\'' ? i : -1;
    }

    // $1 is a parameter; $tag$ opens a string that the same tag closes.
    QString dollar()
    {
        qsizetype end = i_ + 1;
        if (digit(at(end))) {
            while (digit(at(end)))
                ++end;
            i_ = end;
            return {};
        }
        if (identifierStart(at(end)) && at(end) != u'$') {
            while (end < text_.size() && identifierPart(text_[end]) && text_[end] != u'$')
                ++end;
        }
        if (at(end) != u'$') {
            ++i_; // a lone "$", which the server refuses
            return {};
        }
        const QStringView tag = text_.mid(i_, end - i_ + 1);
        const qsizetype close = text_.indexOf(tag, end + 1);
        if (close < 0)
            return QStringLiteral("a string is opened with %1 and not closed").arg(tag);
        i_ = close + tag.size();
        return {};
    }

    // Digits, a point and an exponent; an exponent's sign only before a digit, as the server
    // reads "1e--x" as a number and a comment.
    QString number()
    {
        while (digit(at(i_)) || at(i_) == u'_' || at(i_) == u'.')
            ++i_;
        if ((at(i_) == u'e' || at(i_) == u'E') &&
            (digit(at(i_ + 1)) ||
             ((at(i_ + 1) == u'+' || at(i_ + 1) == u'-') && digit(at(i_ + 2))))) {
            i_ += 2;
            while (digit(at(i_)))
                ++i_;
        }
        return {};
    }

    const QStringView text_;
    qsizetype i_ = 0;
    int depth_[2] = {0, 0}; // parentheses, brackets
};

} // namespace

QString ExpressionTextProblem(QStringView text)
{
    if (text.trimmed().isEmpty())
        return QStringLiteral("it is empty");
    return Scan(text).problem();
}
