// The small procedures shared by the two windows.
#include "ui/windowhelpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QRadioButton>
#include <QScreen>
#include <QWidget>
#include <QtEndian>
#include <stdexcept>

bool FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

QString CutTitle(QString title, int maxLength)
{
    while (title.size() > maxLength) {
        const qsizetype blank = title.lastIndexOf(u' ');
        if (blank < 0) {
            title.truncate(maxLength);
            break;
        }
        title.truncate(blank);
    }
    return title;
}

namespace {

// Kept here rather than as Qt's application display name: on X11 Qt appends that name to
// every window title that does not already end in it, so the error report's title bar would
// read "Application Error — Recasor".
QString &appTitle()
{
    static QString title;
    return title;
}

} // namespace

void SetAppTitle(const QString &productTitle)
{
    appTitle() = CutTitle(productTitle);
}

QString AppTitle()
{
    return appTitle().isNull() ? QGuiApplication::applicationDisplayName() : appTitle();
}

QString PlainToolTip(const QString &text)
{
    if (text.isEmpty())
        return {};
    // Rich text without a doubt, whose one paragraph keeps the text's blanks and line breaks.
    return QStringLiteral("<qt><p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped() +
           QStringLiteral("</p></qt>");
}

QString ProgramFolder()
{
    return QCoreApplication::applicationDirPath();
}

void ApplySkin(QWidget &window, const QString &programFolder)
{
    if (!FileExists(programFolder + QStringLiteral("/x/o.cjs")))
        return;
    ApplyFormColours(window);
}

void ApplyFormColours(QWidget &window)
{
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    SetBackground(window, buttonFace);
    for (QWidget *control : window.findChildren<QWidget *>()) {
        if (qobject_cast<QGroupBox *>(control) || qobject_cast<QLabel *>(control) ||
            qobject_cast<QCheckBox *>(control) || qobject_cast<QRadioButton *>(control))
            SetBackground(*control, buttonFace);
    }
}

QCursor LoadCursorFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("The cursor file " + path.toStdString() + " cannot be read.");
    const QByteArray header = file.read(22);
    file.close();
    // The icon directory of a cursor file: type 2, then per image its size and its hot spot.
    if (header.size() < 22 || qFromLittleEndian<quint16>(header.constData() + 2) != 2)
        throw std::runtime_error("The file " + path.toStdString() + " is not a cursor file.");
    QImageReader reader(path, "cur");
    const QImage image = reader.read();
    if (image.isNull())
        throw std::runtime_error("The cursor file " + path.toStdString() +
                                 " cannot be read: " + reader.errorString().toStdString());
    const int hotX = qFromLittleEndian<quint16>(header.constData() + 10);
    const int hotY = qFromLittleEndian<quint16>(header.constData() + 12);
    return QCursor(QPixmap::fromImage(image), qMin(hotX, image.width() - 1),
                   qMin(hotY, image.height() - 1));
}

int Twips(int twips)
{
    return qRound(twips / 15.0);
}

void PlaceTwips(QWidget &control, int left, int top, int width, int height)
{
    control.setGeometry(Twips(left), Twips(top), Twips(width), Twips(height));
}

QFont ArialFont(qreal points, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont DesktopFont()
{
    // The application's font marks none of its properties as set, so a control given it as it
    // is would still take every one of them from its window.
    QFont font = QGuiApplication::font();
    font.setResolveMask(QFont::AllPropertiesResolved);
    return font;
}

void CentreOnScreen(QWidget &window)
{
    const QScreen *screen = window.screen();
    if (!screen)
        return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

void MakeFixedWindow(QWidget &window, int widthTwips, int heightTwips)
{
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint);
    window.setFixedSize(Twips(widthTwips), Twips(heightTwips));
}

void SetBackground(QWidget &control, const QColor &colour)
{
    QPalette palette = control.palette();
    palette.setColor(QPalette::Window, colour);
    control.setPalette(palette);
    // A label stands on its frame, whose panel the style may tint; painting the label's own
    // box would show it as a patch on that panel.
    control.setAutoFillBackground(!qobject_cast<QLabel *>(&control));
}
