// Widget tests run on the offscreen platform with one QApplication for the whole program.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <cstdio>
#include <fstream>

#include "AppTestSupport.h"
#include "platform/MessageBox.h"
#include "skin/SkinList.h"

std::string WriteMovieHeader(const std::string& path, int32_t seconds, uint32_t riffSize) {
    uint8_t bytes[96] = {'R', 'I', 'F', 'F', 0, 0, 0,   0,   'T', 'V', 'Q', ' ', 'L', 'I',
                         'S', 'T', 0,   0,   0, 0, 'h', 'd', 'r', 'l', 't', 'v', 'q', 'h'};
    for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<uint8_t>(riffSize >> (8 * i));
    const int32_t hours = seconds / 3600;
    bytes[84] = static_cast<uint8_t>(seconds % 60);
    bytes[85] = static_cast<uint8_t>(seconds / 60 % 60);
    bytes[86] = static_cast<uint8_t>(hours & 0xFF);
    bytes[87] = static_cast<uint8_t>((hours >> 8) & 0xFF);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<char*>(bytes), sizeof bytes);
    return path;
}

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char runtime[] = "/tmp/tvq-app-runtime-XXXXXX";
    if (mkdtemp(runtime))
        setenv("XDG_RUNTIME_DIR", runtime, 1);
    setenv("TVQ_LANGID", "1033", 1);
    QApplication app(argc, argv);
    CreateSkinList("");
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    DeleteSkinList();
    std::error_code ec;
    std::filesystem::remove_all(runtime, ec);
    return result;
}
