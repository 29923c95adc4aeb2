// Turns the program's PNG pictures into C++ arrays of premultiplied ARGB
// pixels, compressed with qCompress, so that the program shows them without
// reading an image file.
// Reading one through Qt's image reader loads and keeps every image format
// plug-in installed (JPEG, GIF, ICO...), which costs resident memory for the
// whole run although every picture here is a PNG. The pixels are kept
// compressed because a large picture's raw pixels would add their own pages
// to the program's resident memory once read.
//
//   vindel_bake_pictures OUTPUT.cpp NAME-SIZE=FILE.png...
//
// Each picture becomes one entry of windows::bakedPictures (BakedPictures.h),
// found by its name and size. Decoding with Qt's own PNG reader at build time
// gives exactly the pixels the reader would give at run time.
#include <QImage>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.cpp NAME-SIZE=FILE.png...\n", argv[0]);
        return 2;
    }
    QString text;
    QTextStream out(&text);
    QString entries;
    out << "// Made by vindel_bake_pictures from resources/pictures; do not edit.\n"
           "#include \"windows/BakedPictures.h\"\n\n"
           "namespace vindel::windows {\nnamespace {\n\n";
    for (int i = 2; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        const qsizetype equals = argument.indexOf(u'=');
        const qsizetype dash = argument.lastIndexOf(u'-', equals);
        bool sizeRead = false;
        const int size = argument.mid(dash + 1, equals - dash - 1).toInt(&sizeRead);
        if (equals < 0 || dash < 0 || !sizeRead) {
            std::fprintf(stderr, "vindel_bake_pictures: not NAME-SIZE=FILE: %s\n", argv[i]);
            return 2;
        }
        const QString file = argument.mid(equals + 1);
        QImage image(file, "PNG");
        if (image.isNull() || image.width() != size || image.height() != size) {
            std::fprintf(stderr, "vindel_bake_pictures: %s is not a %d x %d PNG picture\n", qPrintable(file),
                         size, size);
            return 1;
        }
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
        QByteArray pixels;
        for (int y = 0; y < size; ++y)
            pixels.append(reinterpret_cast<const char*>(image.constScanLine(y)), qsizetype(size) * 4);
        const QByteArray packed = qCompress(pixels, 9);
        out << "const uchar picture" << i << "[] = {";
        for (qsizetype b = 0; b < packed.size(); ++b)
            out << ((b % 16) ? " " : "\n    ") << uchar(packed[b]) << ",";
        out << "\n};\n\n";
        entries +=
            QStringLiteral("        {\"%1\", %2, picture%3},\n").arg(argument.left(dash)).arg(size).arg(i);
    }
    out << "} // namespace\n\nstd::span<const BakedPicture> bakedPictures()\n{\n"
           "    static constexpr BakedPicture pictures[] = {\n"
        << entries << "    };\n    return pictures;\n}\n\n} // namespace vindel::windows\n";
    out.flush();
    QSaveFile output(QString::fromLocal8Bit(argv[1]));
    if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate) || output.write(text.toUtf8()) < 0 ||
        !output.commit()) {
        std::fprintf(stderr, "vindel_bake_pictures: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
