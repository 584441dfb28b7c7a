// The libFuzzer entry of one target; TTT_FUZZ_ENTRY names the target's function.

#include "fuzztargets.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>

namespace
{

// The program's trace lines cost time and flood the fuzzer's output; warnings stay.
void dropTraces(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(dropTraces);
    fuzzScratchFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return TTT_FUZZ_ENTRY(data, size);
}
