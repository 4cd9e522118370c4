#include "editor/commandline.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace editor {

namespace {

// The options QGuiApplication, QApplication and the platform plugins take
// from the command line themselves. Qt reads each with one dash or two.
constexpr std::array<std::string_view, 28> kQtWithValue = {"platform", "platformpluginpath",
    "platformtheme", "plugin", "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "style",
    "stylesheet", "display", "geometry", "fn", "font", "bg", "background", "fg", "foreground",
    "btn", "button", "name", "title", "visual", "ncols", "cmap", "im", "inputstyle", "dialogs"};
constexpr std::array<std::string_view, 6> kQtFlags = {
    "reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};
// Only these take their value after "=" as well.
constexpr std::array<std::string_view, 3> kQtWithEquals = {"style", "stylesheet", "qmljsdebugger"};

template<std::size_t N> bool among(const std::array<std::string_view, N> &names, std::string_view n)
{
    return std::find(names.begin(), names.end(), n) != names.end();
}

CommandLine error(std::string text)
{
    CommandLine c;
    c.action = CommandLine::Action::Error;
    c.error = std::move(text);
    return c;
}

} // namespace

CommandLine parseCommandLine(int argc, const char *const *argv)
{
    CommandLine result;
    std::vector<std::string_view> files;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
        if (!isOption) {
            files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // Our own options are only these; they answer alone.
        if (arg == "--help" || arg == "-h" || arg == "--version") {
            if (argc != 2)
                return error("'" + std::string(arg) + "' takes nothing else");
            result.action =
                arg == "--version" ? CommandLine::Action::Version : CommandLine::Action::Help;
            return result;
        }
        std::string_view name = arg.substr(arg[1] == '-' ? 2 : 1);
        const auto equals = name.find('=');
        const bool inlineValue = equals != std::string_view::npos;
        if (inlineValue)
            name = name.substr(0, equals);
        if (inlineValue) {
            if (among(kQtWithEquals, name))
                continue;
        } else if (among(kQtFlags, name)) {
            continue;
        } else if (among(kQtWithValue, name)) {
            if (++i >= argc)
                return error("option '" + std::string(arg) + "' needs a value");
            continue;
        }
        return error("unknown option '" + std::string(arg) + "'");
    }
    if (files.size() == 1) {
        result.file = files.front();
    } else if (files.size() > 1) {
        // Which piece was meant cannot be told, so none is opened.
        result.warning = "more than one file named (";
        for (std::size_t i = 0; i < files.size(); ++i)
            result.warning += (i ? " '" : "'") + std::string(files[i]) + "'";
        result.warning += "), so none is opened; quote a name that holds a blank";
    }
    return result;
}

} // namespace editor
