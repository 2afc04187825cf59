#pragma once

#include <gio/gio.h>

#include <QString>

#include <memory>

namespace halvora::glib {

// Owning handles for what glib hands out, so that every early return and throw frees it.
struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct Free {
    void operator()(gpointer memory) const { g_free(memory); }
};
struct ErrorFree {
    void operator()(GError *error) const { g_error_free(error); }
};
struct KeyFileFree {
    void operator()(GKeyFile *file) const { g_key_file_free(file); }
};
struct StringsFree {
    void operator()(gchar **strings) const { g_strfreev(strings); }
};

template <typename T> using Object = std::unique_ptr<T, ObjectUnref>;
using String = std::unique_ptr<gchar, Free>;
using Error = std::unique_ptr<GError, ErrorFree>;
using KeyFile = std::unique_ptr<GKeyFile, KeyFileFree>;
using Strings = std::unique_ptr<gchar *, StringsFree>;

inline QString text(const gchar *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace halvora::glib
