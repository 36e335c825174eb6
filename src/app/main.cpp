#include "window/form1.h"
#include "views/report.h"

#include "datalog/take_store.h"

#include <QApplication>
#include <QLocale>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <cstring>
#include <string>

namespace {

int usage()
{
    std::fputs("usage: datalog-viewer [FILE]\n"
               "       datalog-viewer --report [--hits] FILE\n", stderr);
    return 2;
}

// Prints what the window would show for the log, without a display, and the
// reader's warnings on standard error. Every failure ends here with exit code
// 1 and a message; nothing escapes to abort the program.
int report(const char* path, bool hits) noexcept
{
    try {
        const dlv::ReadResult result = dlv::readDataLog(std::filesystem::path(path));
        if (!result.ok()) {
            std::fprintf(stderr, "datalog-viewer: %s\n", result.error.c_str());
            return 1;
        }
        for (const dlv::ReadWarning& warning : result.warnings)
            std::fprintf(stderr, "datalog-viewer: warning: '%s': %s\n", dlv::quotedText(path).c_str(),
                         warning.message.c_str());
        const std::string separator = QLocale().decimalPoint().toStdString();
        const std::string text = dlv::reportText(*result.store, separator, hits);
        std::fwrite(text.data(), 1, text.size(), stdout);
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "datalog-viewer: cannot write the report: %s\n", std::strerror(errno));
            return 1;
        }
        return 0;
    } catch (const std::bad_alloc&) {
        std::fputs("datalog-viewer: not enough memory to build the report\n", stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "datalog-viewer: cannot build the report: %s\n", e.what());
    } catch (...) {
        std::fputs("datalog-viewer: cannot build the report\n", stderr);
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
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
