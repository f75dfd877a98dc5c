#include "imagedata/hdf5access.h"

// Qt
#include <QStringList>

// Local
#include <string>

namespace hdf5 {

namespace {

std::recursive_mutex &libraryMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

herr_t collectMessage(unsigned n, const H5E_error2_t *entry, void *data)
{
    auto *messages = static_cast<QStringList *>(data);
    // The innermost entries (the first ones walked) say what went wrong; the outer ones only which
    // call it came through.
    if (n < 2 && entry && entry->desc && *entry->desc)
        messages->append(QString::fromLocal8Bit(entry->desc));
    return 0;
}

} // namespace

Lock::Lock()
    : lock_(libraryMutex())
{
    static const bool opened = H5open() >= 0;
    // Error stacks belong to a thread in a thread-safe build of the library: each thread that calls
    // it switches the printing off for itself.
    thread_local const bool quiet = H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr) >= 0;
    (void)opened;
    (void)quiet;
}

Id &Id::operator=(Id &&other) noexcept
{
    if (this != &other) {
        reset(other.id_);
        other.id_ = H5I_INVALID_HID;
    }
    return *this;
}

void Id::reset(hid_t id)
{
    if (id_ >= 0 && H5Iis_valid(id_) > 0)
        H5Idec_ref(id_);
    id_ = id;
}

QString errorText()
{
    QStringList messages;
    H5Ewalk2(H5E_DEFAULT, H5E_WALK_UPWARD, &collectMessage, &messages);
    H5Eclear2(H5E_DEFAULT);
    messages.removeDuplicates();
    return messages.join(QStringLiteral("; "));
}

bool pathExists(hid_t file, const char *path)
{
    const std::string full(path);
    size_t at = full.front() == '/' ? 1 : 0;
    while (at <= full.size()) {
        const size_t slash = full.find('/', at);
        const std::string prefix = full.substr(0, slash == std::string::npos ? full.size() : slash);
        if (H5Lexists(file, prefix.c_str(), H5P_DEFAULT) <= 0
            || H5Oexists_by_name(file, prefix.c_str(), H5P_DEFAULT) <= 0) {
            H5Eclear2(H5E_DEFAULT);
            return false;
        }
        if (slash == std::string::npos)
            break;
        at = slash + 1;
    }
    return true;
}

} // namespace hdf5
