#pragma once

// Local
#include <cstddef>
#include <memory>

/// Asks the system to back the 2 MB-aligned part of [data, data + size) with huge pages where it
/// offers them (Linux; elsewhere nothing happens). Fresh memory of tens of megabytes is then faulted
/// in once per 2 MB instead of once per 4 kB, and reading it by columns misses the address
/// translation cache far less often.
void adviseHugePages(void *data, std::size_t size);

/// The pixel bytes of one image: allocated without being cleared (the file fills them at once), on
/// huge pages where possible. The interface is the part of std::vector that the readers use.
class PixelBlock
{
public:
    void resize(std::size_t size);
    void clear()
    {
        bytes_.reset();
        size_ = 0;
    }
    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }
    unsigned char *data() { return bytes_.get(); }
    const unsigned char *data() const { return bytes_.get(); }

private:
    std::unique_ptr<unsigned char[]> bytes_;
    std::size_t size_ = 0;
};
