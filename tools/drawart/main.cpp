// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// kestrum-drawart OUTDIR [--preview DIR] [--icons DIR]: draws our pictures and
// writes them as PNG files into OUTDIR (res/ in the source tree), the bitmaps
// also at twice the size for screens of twice the density (NAME@2x.png). With --preview,
// also writes copies scaled up 4 times for looking at. With --icons, also writes
// the application icon for the desktop's hicolor theme into DIR/hicolor/
// (packaging/icons/ in the source tree): PNGs of every usual size and an SVG.
#include "tools/drawart/pictures.h"

#include "cmdline/validators.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgGenerator>

#include <cstdio>
#include <string>

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

// The icon's file name in the theme: the desktop entry's id.
const char IconName[] = "org.kestrum.UsbKestrum";

bool WriteThemeIcons(const QString &dir)
{
    bool ok = true;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString folder = QString("%1/hicolor/%2x%2/apps").arg(dir).arg(size);
        QDir().mkpath(folder);
        ok &= Write(drawart::AppIcon(size), folder, QString("%1.png").arg(IconName), QString());
    }
    const QString folder = dir + "/hicolor/scalable/apps";
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QString("%1.svg").arg(IconName));
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(32, 32));
    svg.setViewBox(QRect(0, 0, 32, 32));
    svg.setTitle("USB Kestrum");
    QPainter p;
    if (!p.begin(&svg)) {
        std::fprintf(stderr, "kestrum-drawart: cannot write %s\n", qPrintable(path));
        return false;
    }
    drawart::DrawAppIcon(p);
    p.end();
    std::printf("%s scalable\n", qPrintable(path));
    return ok;
}

}  // namespace

// The command line, read before Qt starts: 0 to go on, or the exit code.
struct Paths {
    std::string out;
    std::string preview;
    std::string icons;
};

int ParsePaths(int argc, char **argv, Paths &paths)
{
    CLI::App app{"Draws the pictures of res/ into OUTDIR (see res/art.md).", "kestrum-drawart"};
    app.set_help_flag("-h,--help", "this text");
    app.add_option("OUTDIR", paths.out, "where the pictures go (res/ in the source tree)")->required();
    app.add_option("--preview", paths.preview, "also write them 4 times larger into DIR")->type_name("DIR");
    app.add_option("--icons", paths.icons, "also write the desktop theme's icons into DIR/hicolor/")->type_name("DIR");
    return kcmd::ParseToolLine(app, argc, argv, "kestrum-drawart");
}

int main(int argc, char **argv)
{
    Paths paths;
    if (const int code = ParsePaths(argc, argv, paths))
        return code < 0 ? 0 : code;
    // Nothing is shown; the offscreen platform is enough for painting text.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString outDir = QString::fromLocal8Bit(paths.out.c_str());
    const QString previewDir = QString::fromLocal8Bit(paths.preview.c_str());
    const QString iconDir = QString::fromLocal8Bit(paths.icons.c_str());
    QDir().mkpath(outDir);
    if (!previewDir.isEmpty())
        QDir().mkpath(previewDir);

    using namespace drawart;
    bool ok = true;
    ok &= Write(TreeImages(), outDir, "tree_images.png", previewDir);
    ok &= Write(ExitButtonFace(), outDir, "exit_button.png", previewDir);
    ok &= Write(Banner(), outDir, "banner.png", previewDir);
    // The same pictures for screens of twice the pixel density, found by their "@2x" names.
    ok &= Write(TreeImages(2), outDir, "tree_images@2x.png", previewDir);
    ok &= Write(ExitButtonFace(2), outDir, "exit_button@2x.png", previewDir);
    ok &= Write(Banner(2), outDir, "banner@2x.png", previewDir);
    ok &= Write(AppIcon(16), outDir, "app_icon_16.png", previewDir);
    ok &= Write(AppIcon(32), outDir, "app_icon_32.png", previewDir);
    if (!iconDir.isEmpty())
        ok &= WriteThemeIcons(iconDir);
    return ok ? 0 : 1;
}
