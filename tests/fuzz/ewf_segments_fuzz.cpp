// The check of an EWF image's first segment before any reader opens it: its header and its
// chain of section descriptors, read from a file holding the input.

#include "platform/image_segments.h"
#include "tests/fuzz/fuzz_support.h"

using namespace tarn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = fuzz::scratch_file(QStringLiteral("image.E01"), {data, size});
    QStringList segments;
    QString error;
    ewf_segment_files(path, segments, error);
    return 0;
}
