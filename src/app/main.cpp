#include "window/form1.h"
#include "app/tables_command.h"
#include "views/report.h"

#include "datalog/take_store.h"

#include <QApplication>
#include <QLocale>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

int usage()
{
    std::fputs("usage: datalog-viewer [FILE]\n"
               "       datalog-viewer --report [--hits] FILE\n"
               "       datalog-viewer --tables WORKSPACE LOG [LOG ...]\n", stderr);
    return 2;
}

// Prints what the window would show for the log, without a display.
int report(const char* path, bool hits)
{
    const dlv::ReadResult result = dlv::readDataLog(path);
    if (!result.ok()) {
        std::fprintf(stderr, "datalog-viewer: %s\n", result.error.c_str());
        return 1;
    }
    const std::string separator = QLocale().decimalPoint().toStdString();
    std::cout << dlv::reportText(*result.store, separator, hits);
    std::cout.flush();
    return std::cout ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--tables") == 0) {
        if (argc < 4)
            return usage();
        // File names as raw bytes, as the system gave them.
        const std::vector<std::filesystem::path> logs(argv + 3, argv + argc);
        return dlv::runTablesCommand(argv[2], logs, std::cout, std::cerr);
    }
    if (argc >= 2 && std::strcmp(argv[1], "--report") == 0) {
        bool hits = false;
        const char* file = nullptr;
        for (int i = 2; i < argc; ++i) {
            if (std::strcmp(argv[i], "--hits") == 0)
                hits = true;
            else if (!file)
                file = argv[i];
            else
                return usage();
        }
        return file ? report(file, hits) : usage();
    }
    if (argc > 2 || (argc == 2 && argv[1][0] == '-' && argv[1][1] != '\0'))
        return usage();

    QApplication app(argc, argv);
    dlv::Form1 form;
    form.show();
    if (argc == 2)
        form.openFile(QString::fromLocal8Bit(argv[1]));
    return app.exec();
}
