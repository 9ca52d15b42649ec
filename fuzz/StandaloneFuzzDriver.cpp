// Runs a fuzz target without libFuzzer: over every file of the given folders, then over a bounded
// number of random mutations of them. Used by the regular test run.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

void run(const QByteArray &input)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
}

QByteArray mutate(QByteArray input, QRandomGenerator &random)
{
    const int edits = 1 + int(random.bounded(8));
    for (int i = 0; i < edits; ++i) {
        const qsizetype at = input.isEmpty() ? 0 : qsizetype(random.bounded(int(input.size())));
        switch (random.bounded(4)) {
        case 0:
            if (!input.isEmpty())
                input[at] = char(random.bounded(256));
            break;
        case 1:
            input.insert(at, char(random.bounded(256)));
            break;
        case 2:
            input.remove(at, 1 + qsizetype(random.bounded(16)));
            break;
        default:
            input.insert(at, input.mid(qsizetype(random.bounded(int(input.size()) + 1)), 24));
            break;
        }
    }
    return input;
}

} // namespace

int main(int argc, char *argv[])
{
    QList<QByteArray> corpus;
    for (int i = 1; i < argc; ++i) {
        const QDir dir(QString::fromLocal8Bit(argv[i]));
        for (const QString &name : dir.entryList(QDir::Files)) {
            QFile file(dir.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                corpus.append(file.readAll());
        }
    }
    corpus.append(QByteArray());
    for (const QByteArray &input : std::as_const(corpus))
        run(input);

    QRandomGenerator random(20261208);
    constexpr int Mutations = 20000;
    for (int i = 0; i < Mutations; ++i)
        run(mutate(corpus.at(qsizetype(random.bounded(int(corpus.size())))), random));
    std::printf("ran %lld inputs and %d mutations\n", static_cast<long long>(corpus.size()), Mutations);
    return 0;
}
