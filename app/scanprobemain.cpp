// quorvel-scanprobe FILE: opens a scan file's structure as a run does, in a process of its own, so that
// a damaged file which makes the HDF5 library fault takes down only this process (see
// imagedata/hdf5probe.h). Exit status 0 when the file was read or refused with a reason, 2 for a
// wrong call; a fault ends it on a signal. A finished check also says so on standard output: the
// caller takes only that as passed, since a crash handler may end a faulting process with status 0.

// Qt
#include <QByteArray>
#include <QString>

// Local
#include "imagedata/hdf5probe.h"
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (argc != 2)
        return 2;
    const int status = scanprobe::run(QString::fromLocal8Bit(argv[1]));
    if (status == 0) {
        const QByteArray said = scanprobe::passedWord() + '\n';
        if (write(STDOUT_FILENO, said.constData(), size_t(said.size())) != said.size())
            _exit(3);
    }
    // Nothing is left to tidy: ending here spares the library's clean-up of what a damaged file
    // left behind (and a leak checker's report of it).
    _exit(status);
}
