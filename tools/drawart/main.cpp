// kestrum-drawart OUTDIR [--preview DIR]: draws our pictures and writes them as
// PNG files into OUTDIR (res/ in the source tree). With --preview, also writes
// copies scaled up 4 times for looking at.
#include "tools/drawart/pictures.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstring>

namespace {

bool Write(const QImage &image, const QString &dir, const QString &name, const QString &previewDir)
{
    const QString path = QDir(dir).filePath(name);
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "kestrum-drawart: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
    if (!previewDir.isEmpty()) {
        const QImage big = image.scaled(image.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        big.save(QDir(previewDir).filePath(QString(name).replace(".png", "-x4.png")), "PNG");
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    // Nothing is shown; the offscreen platform is enough for painting text.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QString outDir;
    QString previewDir;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--preview") == 0 && i + 1 < argc)
            previewDir = QString::fromLocal8Bit(argv[++i]);
        else if (argv[i][0] != '-' && outDir.isEmpty())
            outDir = QString::fromLocal8Bit(argv[i]);
        else {
            std::fprintf(stderr, "usage: kestrum-drawart OUTDIR [--preview DIR]\n");
            return 64;
        }
    }
    if (outDir.isEmpty()) {
        std::fprintf(stderr, "usage: kestrum-drawart OUTDIR [--preview DIR]\n");
        return 64;
    }
    QDir().mkpath(outDir);
    if (!previewDir.isEmpty())
        QDir().mkpath(previewDir);

    using namespace drawart;
    bool ok = true;
    ok &= Write(TreeImages(), outDir, "bitmap142.png", previewDir);
    ok &= Write(ExitButtonFace(), outDir, "bitmap143.png", previewDir);
    ok &= Write(Banner(), outDir, "bitmap144.png", previewDir);
    ok &= Write(AppIcon(16), outDir, "icon16.png", previewDir);
    ok &= Write(AppIcon(32), outDir, "icon32.png", previewDir);
    return ok ? 0 : 1;
}
