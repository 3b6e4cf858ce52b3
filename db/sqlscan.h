// Reads a text that the user gives as one SQL expression the way the server's lexer will, to
// know before any statement is made of it that it stands whole inside the statement: no
// comment, string, quoted name or dollar quote is left open to swallow the statement's own
// text after it, no ";" ends the statement and starts another, and no parenthesis closes one of
// the statement's. It also refuses what the ODBC driver would read for itself ("?" for a
// parameter, braces for its escapes) before the server sees it. The server still checks the
// expression itself.
#pragma once

#include <QString>
#include <QStringView>

// What keeps the text from standing whole in a statement, for the user to read; empty when
// nothing does. Strings are read as the server reads them with standard_conforming_strings on,
// which every session sets.
QString ExpressionTextProblem(QStringView text);
