// Skin pictures through the picture loader: any bytes as a skin image file, loaded with and
// without a background colour. A load either gives a usable picture in the promised format or
// leaves the object empty; a full object refuses a second load and keeps its picture.
#include <QGuiApplication>
#include <QImageReader>
#include <string>

#include "FuzzSupport.h"
#include "support/PictureBitmap.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    fuzz::Folder();
    // Never destroyed: libFuzzer ends with exit(), and a QGuiApplication torn down by the
    // exit handlers outlives Qt's own globals.
    new QGuiApplication(*argc, *argv);
    // The reader's own limit, well above any skin; a stray huge header must fail, not exhaust
    // the fuzzer's memory.
    QImageReader::setAllocationLimit(128);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::Folder() + "/picture.bmp";
    fuzz::WriteFile(path, data, size);

    CPictureBitmap plain;
    const bool loaded = plain.LoadFromFile(path);
    fuzz::Check(loaded != plain.IsEmpty(), "a load fills the object exactly when it succeeds");
    if (loaded) {
        fuzz::Check(plain.Width() > 0 && plain.Height() > 0, "a loaded picture has an area");
        fuzz::Check(plain.Image().format() == QImage::Format_ARGB32_Premultiplied,
                    "without a background the picture keeps its alpha");
        const QSize size = plain.Size();
        fuzz::Check(!plain.LoadFromFile(path, 0x00FF00) && plain.Size() == size,
                    "a full object refuses a second load and keeps its picture");
        fuzz::Check(plain.DeleteObject() && plain.IsEmpty() && !plain.DeleteObject(),
                    "deleting empties the object once");
    }

    CPictureBitmap opaque;
    const bool composed = opaque.LoadFromFile(path, 0x00FF00FF);
    fuzz::Check(composed == loaded, "the background does not decide whether a file decodes");
    if (composed)
        fuzz::Check(opaque.Image().format() == QImage::Format_RGB32,
                    "with a background the picture is opaque");
    return 0;
}
