#include "workbench/workspace_file.h"

#include "datalog/display_text.h"
#include "datalog/regular_file.h"

#include <unistd.h>

#include <cerrno>
#include <new>

namespace dlv::workbench {

namespace {

const std::string kTooLarge = "it is larger than 64 MiB, more than a workspace holds";

WorkspaceBytes refused(std::string reason, bool opened)
{
    WorkspaceBytes out;
    out.reason = std::move(reason);
    out.opened = opened;
    return out;
}

}  // namespace

std::string quotedPath(const std::filesystem::path& path)
{
    return "'" + quotedText(path.native()) + "'";
}

WorkspaceBytes readWorkspaceBytes(const std::filesystem::path& path) noexcept
{
    try {
        const RegularFile opened = openRegularFile(path);
        if (!opened.ok())
            return refused(opened.error, false);
        if (static_cast<std::uint64_t>(opened.info.st_size) > kMaxWorkspaceFileBytes)
            return refused(kTooLarge, true);
        // The size is only a first guess: a file under /proc says 0, and
        // one being written grows; one byte past the limit tells.
        std::string text;
        text.resize(std::max<std::size_t>(static_cast<std::size_t>(opened.info.st_size) + 1, 4096));
        std::size_t have = 0;
        while (true) {
            if (have == text.size()) {
                if (have > kMaxWorkspaceFileBytes)
                    return refused(kTooLarge, true);
                text.resize(std::min(have * 2, kMaxWorkspaceFileBytes + 1));
            }
            const ssize_t n = ::read(opened.file.get(), text.data() + have, text.size() - have);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return refused(errorReason(errno), true);
            if (n == 0)
                break;
            have += static_cast<std::size_t>(n);
        }
        if (have > kMaxWorkspaceFileBytes)
            return refused(kTooLarge, true);
        text.resize(have);
        WorkspaceBytes out;
        out.text = std::move(text);
        out.opened = true;
        return out;
    } catch (const std::bad_alloc&) {
        return refused("not enough memory to read it", true);
    } catch (...) {
        return refused("it cannot be read", true);
    }
}

WorkspaceResult readWorkspaceFile(const std::filesystem::path& path) noexcept
{
    WorkspaceResult result;
    try {
        const WorkspaceBytes bytes = readWorkspaceBytes(path);
        if (!bytes.ok()) {
            result.error = (bytes.opened ? "Cannot read workspace " : "Cannot open workspace ") + quotedPath(path) +
                           ": " + bytes.reason;
            return result;
        }
        try {
            result = parseWorkspace(*bytes.text);
        } catch (const std::bad_alloc&) {
            result = WorkspaceResult{};
            result.error = "not enough memory to read it";
        }
        if (!result.ok())
            result.error = "workspace " + quotedPath(path) + ": " + result.error;
    } catch (...) {
        result = WorkspaceResult{};
        result.error = "Cannot read workspace: not enough memory";
    }
    return result;
}

}  // namespace dlv::workbench
