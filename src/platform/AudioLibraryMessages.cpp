#include "platform/AudioLibraryMessages.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <mutex>

namespace qv {
namespace {

void dropAlsaMessage(const char* file, int line, const char* function, int error, const char* format, ...) {
    (void)file;
    (void)line;
    (void)function;
    (void)error;
    (void)format;
}

void dropJackMessage(const char* message) { (void)message; }

}  // namespace

void quietAudioLibraryMessages() {
    static std::once_flag once;
    std::call_once(once, [] {
        snd_lib_error_set_handler(dropAlsaMessage);
        jack_set_error_function(dropJackMessage);
        jack_set_info_function(dropJackMessage);
    });
}

}  // namespace qv
