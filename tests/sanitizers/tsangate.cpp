// The ThreadSanitizer gate's own check (built only in a ThreadSanitizer build): a worker takes
// vectors by queued calls and hands results back by a queued signal, as our workers do, which must
// give no report that counts; with "racy" both threads also write one counter unguarded, which must.

// Qt
#include <QCoreApplication>
#include <QThread>

// Local
#include <vector>

class GateWorker : public QObject
{
    Q_OBJECT
public:
    int *shared = nullptr;

signals:
    void done(const std::vector<double> &result);

public slots:
    void work(const std::vector<double> &input)
    {
        std::vector<double> result(input.size());
        for (size_t i = 0; i < input.size(); ++i)
            result[i] = 2 * input[i];
        if (shared)
            ++*shared; // unguarded: the main thread writes it too
        emit done(result);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bool racy = argc > 1 && QByteArray(argv[1]) == "racy";
    static int counter = 0;
    QThread thread;
    GateWorker worker;
    worker.moveToThread(&thread);
    thread.start();
    if (racy)
        worker.shared = &counter;
    qRegisterMetaType<std::vector<double>>();
    int rounds = 0;
    auto post = [&worker](std::vector<double> input) {
        QMetaObject::invokeMethod(
            &worker, [&worker, input] { worker.work(input); }, Qt::QueuedConnection);
    };
    QObject::connect(&worker, &GateWorker::done, &app, [&](const std::vector<double> &result) {
        if (++rounds == 50 || result.front() != 2.0)
            app.quit();
        else
            post(std::vector<double>(1000, 1.0));
    });
    post(std::vector<double>(1000, 1.0));
    if (racy)
        ++counter;
    const int code = QCoreApplication::exec();
    thread.quit();
    thread.wait();
    return code == 0 && rounds == 50 ? 0 : 1;
}

#include "tsangate.moc"
