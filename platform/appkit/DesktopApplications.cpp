// Which application the desktop opens a file with, asked of GIO: the same
// library, databases and rules `gio open` goes by.
#include "platform/appkit/Workspace.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>

// GIO's headers name struct members "signals", which the toolkit defines as
// a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <memory>

namespace tolvan {

namespace {

template <typename T>
using GPointer = std::unique_ptr<T, decltype(&g_object_unref)>;

template <typename T>
GPointer<T> adopt(T* object)
{
    return GPointer<T>(object, &g_object_unref);
}

QString canonicalProgram(const QString& executable)
{
    const QString found = QFileInfo(executable).isAbsolute() ? executable : QStandardPaths::findExecutable(executable);
    return found.isEmpty() ? QString() : QFileInfo(found).canonicalFilePath();
}

}  // namespace

bool DesktopApplication::isThisProgram() const
{
    const QString ours = QGuiApplication::desktopFileName();
    if (!ours.isEmpty() && id == ours + QStringLiteral(".desktop"))
        return true;
    const QString program = canonicalProgram(executable);
    return !program.isEmpty() && program == QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
}

std::optional<DesktopApplication> Workspace::defaultApplicationForFile(const QString& path)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return std::nullopt;
    // `gio open` asks for the handler of the address's scheme first, then
    // for that of the file's type.
    auto handler = adopt(g_app_info_get_default_for_uri_scheme("file"));
    if (!handler) {
        auto file = adopt(g_file_new_for_path(QFile::encodeName(QFileInfo(path).absoluteFilePath()).constData()));
        handler = adopt(g_file_query_default_handler(file.get(), nullptr, nullptr));
    }
    if (!handler)
        return std::nullopt;
    const char* id = g_app_info_get_id(handler.get());
    const char* executable = g_app_info_get_executable(handler.get());
    return DesktopApplication{QString::fromUtf8(id ? id : ""), QString::fromUtf8(executable ? executable : "")};
}

}  // namespace tolvan
