// Writes the two model pictures that ship in dist/logo, or the program's
// icon at the given sizes. The drawing is the display window's own, so the
// pictures, the icon and the built-in panel match.
#include "fonts.h"
#include "meterpanel.h"
#include "panelicon.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QTextStream>

using namespace kelmar;

namespace {

struct Output
{
    const char *file;
    PanelKind kind;
};

constexpr Output Outputs[] = {
    {"vq2_366.jpg", PanelKind::SingleValue}, // model "A"
    {"ZRP_366.jpg", PanelKind::TwoValues},   // model "B"
};

constexpr int JpegQuality = 92;
constexpr int LargestIcon = 1024;

bool write(const QImage &image, const QString &path, const char *format, QTextStream &err)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        err << "cannot create the folder of " << path << "\n";
        return false;
    }
    QImageWriter writer(path, format);
    if (qstrcmp(format, "jpeg") == 0)
        writer.setQuality(JpegQuality);
    if (!writer.write(image)) {
        err << path << ": " << writer.errorString() << "\n";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    installFontSubstitutions();
    QTextStream err(stderr);
    QStringList args = app.arguments();
    args.removeFirst();
    const bool icons = !args.isEmpty() && args.first() == QStringLiteral("--icons");
    if (icons)
        args.removeFirst();
    if (args.isEmpty() || (!icons && args.size() != 1) || (icons && args.size() < 2)) {
        err << "usage: kelmar_mkpanels <folder>\n"
               "       kelmar_mkpanels --icons <folder> <size>...\n";
        return 2;
    }
    const QDir dir(args.takeFirst());
    int failures = 0;
    if (icons) {
        for (const QString &arg : args) {
            bool ok = false;
            const int size = arg.toInt(&ok);
            if (!ok || size < 1 || size > LargestIcon) {
                err << "not an icon size: " << arg << "\n";
                return 2;
            }
            failures += !write(drawPanelIcon(size), dir.filePath(panelIconPath(size)), "png", err);
        }
    } else {
        for (const Output &o : Outputs)
            failures += !write(drawMeterPanel(o.kind), dir.filePath(QString::fromLatin1(o.file)),
                               "jpeg", err);
    }
    return failures == 0 ? 0 : 1;
}
