// Writes the two model pictures that ship in dist/logo. The drawing is the
// display window's own, so the pictures and the built-in panel match.
#include "fonts.h"
#include "meterpanel.h"

#include <QDir>
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

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    installFontSubstitutions();
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        err << "usage: kelmar_mkpanels <folder>\n";
        return 2;
    }
    const QDir dir(args[1]);
    if (!QDir().mkpath(dir.path())) {
        err << "cannot create " << dir.path() << "\n";
        return 1;
    }
    int failures = 0;
    for (const Output &o : Outputs) {
        const QString path = dir.filePath(QString::fromLatin1(o.file));
        QImageWriter writer(path, "jpeg");
        writer.setQuality(JpegQuality);
        if (!writer.write(drawMeterPanel(o.kind))) {
            err << path << ": " << writer.errorString() << "\n";
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
