// libFuzzer target: the information strip's texts on arbitrary device names
// and host-API names (both come from audio drivers) and latencies, and the
// header's notice on arbitrary notice texts and saved device names.
//
// Beyond "no crash": every text is terminated and fits its buffer, and a
// well-formed name gives a well-formed text (a cut never splits a character).

#include "platform/graphics/Utf8.h"
#include "ui/panels/StripText.h"

#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string_view>

using namespace qv;

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

void check(const ShortText& text, bool sourceWellFormed) {
    const size_t length = ::strnlen(text.text, sizeof(text.text));
    require(length < sizeof(text.text));
    if (sourceWellFormed)
        require(isWellFormedUtf8(text.view()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    StripStatus status;
    status.audioReady = size > 0 ? data[0] & 1 : 0;
    status.streamCount = size > 0 ? (data[0] >> 1) & 3 : 0;
    size_t offset = size > 0 ? 1 : 0;
    if (size >= offset + sizeof(float)) {
        std::memcpy(&status.firstStream.latencyMs, data + offset, sizeof(float));
        offset += sizeof(float);
    }
    // The rest fills the two fixed fields byte for byte, terminated or not.
    const size_t nameBytes = std::min(sizeof(status.firstStream.deviceName), size - offset);
    std::memcpy(status.firstStream.deviceName, data + offset, nameBytes);
    offset += nameBytes;
    const size_t apiBytes = std::min(sizeof(status.firstStream.hostApi), size - offset);
    std::memcpy(status.firstStream.hostApi, data + offset, apiBytes);

    const std::string_view name(status.firstStream.deviceName,
                                ::strnlen(status.firstStream.deviceName, sizeof(status.firstStream.deviceName)));
    const std::string_view api(status.firstStream.hostApi,
                               ::strnlen(status.firstStream.hostApi, sizeof(status.firstStream.hostApi)));
    check(deviceCellText(status), isWellFormedUtf8(name));
    check(deviceNameText(name), isWellFormedUtf8(name));
    check(driverCellText(status), isWellFormedUtf8(api));
    check(latencyCellText(status), true);
    // The same bytes as the audio notice: its text and the saved name.
    status.audioReady = 0;
    status.notice.problem = size > 0 && (data[0] & 8) ? AudioProblem::DeviceNotFound : AudioProblem::OpenFailed;
    const size_t textBytes = std::min(sizeof(status.notice.text), size);
    std::memcpy(status.notice.text, data, textBytes);
    std::memcpy(status.notice.deviceName, status.firstStream.deviceName, sizeof(status.notice.deviceName));
    const std::string_view noticeSource(status.notice.text, ::strnlen(status.notice.text, sizeof(status.notice.text)));
    const NoticeText notice = audioNoticeText(status);
    const std::string_view shown(notice.text, ::strnlen(notice.text, sizeof(notice.text)));
    require(shown.size() < sizeof(notice.text));
    require(shown.find_first_of("\n\r\t") == std::string_view::npos);
    if (isWellFormedUtf8(noticeSource))
        require(isWellFormedUtf8(shown));
    check(deviceCellText(status), isWellFormedUtf8(name));

    double rate = 0;
    if (size >= sizeof(double))
        std::memcpy(&rate, data + size - sizeof(double), sizeof(double));
    check(sampleRateText(rate), true);
    return 0;
}
