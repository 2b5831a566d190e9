// The data-file reader on any data file, with the job file beside it when the input holds
// one after a NUL byte: a job read is written by SaveToFile and reads back the same.
#include "common/bcommon.h"
#include "fuzzsupport.h"
#include "jobs/cprintjobinfo.h"

#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ResetWorld();
    const Sandbox& box = FuzzBox();
    const QByteArray bytes = Bytes(data, size);
    const qsizetype nul = bytes.indexOf('\0');
    const QString base = FreshName(u"."_s);
    const QString dataFile = box.Write(base + u"dat"_s, nul < 0 ? bytes : bytes.left(nul));
    const QString jobFile = base + u"prt"_s;
    if (nul >= 0) box.Write(jobFile, bytes.mid(nul + 1));

    // The first write may drop what the format does not keep (a value's description after
    // " | ", digits past the sixth decimal); from then on writing and reading change nothing.
    // The files themselves may differ: a value cut at " | " is written without its closing
    // quotation mark, and read back it is written with one.
    CPrintJobInfo job;
    CError err;
    if (job.ReadFromFile(dataFile, &err)) {
        QString previous;
        for (int round = 1; round <= 2; ++round) {
            QString written = dataFile;
            if (!job.SaveToFile(written)) Broken("a job read is written", {}, written);
            const QByteArray file = box.Read(base + u"dat"_s);
            CPrintJobInfo again;
            if (!again.ReadFromFile(written, &err))
                Broken("a written data file reads", QString::fromUtf8(file),
                       QString::number(err.number) + u" "_s + err.description);
            if (round == 2 && JobDump(again) != previous)
                Broken("a job written and read back is the same job", previous, JobDump(again));
            previous = JobDump(again);
            job = std::move(again);
        }
    }
    QFile::remove(dataFile);
    QFile::remove(box.Path(jobFile));
    return 0;
}
