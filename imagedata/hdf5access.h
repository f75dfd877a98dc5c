#pragma once

// Qt
#include <QString>

// Local
#include <hdf5.h>
#include <mutex>

/// Access to the HDF5 library: one lock for every call into it (the library keeps global state and
/// a build without thread safety must never be entered from two threads), identifiers that close
/// themselves, and the library's own account of a failure as text.
namespace hdf5 {

/// Held around every call into the library. The first lock also switches off the library's printing
/// of error stacks: failures are reported through `errorText` by whoever called.
class Lock
{
public:
    Lock();

private:
    std::unique_lock<std::recursive_mutex> lock_;
};

/// An identifier of the library (file, dataset, dataspace, type, property list, attribute) that is
/// released when it goes out of scope. Only to be created, reset and destroyed under a `Lock`.
class Id
{
public:
    Id() = default;
    explicit Id(hid_t id)
        : id_(id)
    {
    }
    ~Id() { reset(); }
    Id(Id &&other) noexcept
        : id_(other.id_)
    {
        other.id_ = H5I_INVALID_HID;
    }
    Id &operator=(Id &&other) noexcept;
    Id(const Id &) = delete;
    Id &operator=(const Id &) = delete;

    void reset(hid_t id = H5I_INVALID_HID);
    hid_t get() const { return id_; }
    bool valid() const { return id_ >= 0; }
    explicit operator bool() const { return valid(); }

private:
    hid_t id_ = H5I_INVALID_HID;
};

/// The innermost messages of the library's error stack ("can't open file; file signature not
/// found"), then the stack is cleared; empty when it holds none. Under a `Lock`.
QString errorText();

/// Whether `path` ("/entry/instrument/detector/data") names an object in the file, checked link by
/// link so that a missing group in between is no error. Under a `Lock`.
bool pathExists(hid_t file, const char *path);

} // namespace hdf5
