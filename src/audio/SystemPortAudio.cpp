// The real PortAudio behind the IPortAudio seam.

#include "audio/PortAudioApi.h"
#include "platform/AudioLibraryMessages.h"
#include "platform/JackClientHooks.h"

#include <pa_jack.h>

namespace qv {
namespace {

class SystemPortAudio final : public IPortAudio {
public:
    PaError initialize() override {
        quietAudioLibraryMessages();
        // Patchbays show the program's name, not "PortAudio".
        PaJack_SetClientName(kJackClientName);
        JackInitialiseScope jack;
        return Pa_Initialize();
    }
    PaError terminate() override { return Pa_Terminate(); }
    const char* errorText(PaError code) override { return Pa_GetErrorText(code); }
    PaDeviceIndex deviceCount() override { return Pa_GetDeviceCount(); }
    const PaDeviceInfo* deviceInfo(PaDeviceIndex device) override { return Pa_GetDeviceInfo(device); }
    const PaHostApiInfo* hostApiInfo(PaHostApiIndex hostApi) override { return Pa_GetHostApiInfo(hostApi); }
    PaError isFormatSupported(const PaStreamParameters* input, const PaStreamParameters* output,
                              double sampleRate) override {
        return Pa_IsFormatSupported(input, output, sampleRate);
    }
    PaError openStream(PaStream** stream, const PaStreamParameters* input, const PaStreamParameters* output,
                       double sampleRate, unsigned long framesPerBuffer, PaStreamFlags flags,
                       PaStreamCallback* callback, void* userData) override {
        JackOpenScope jack(output != nullptr ? output->device : -1);
        return Pa_OpenStream(stream, input, output, sampleRate, framesPerBuffer, flags, callback, userData);
    }
    PaError startStream(PaStream* stream) override { return Pa_StartStream(stream); }
    PaError stopStream(PaStream* stream) override { return Pa_StopStream(stream); }
    PaError closeStream(PaStream* stream) override { return Pa_CloseStream(stream); }
    const PaStreamInfo* streamInfo(PaStream* stream) override { return Pa_GetStreamInfo(stream); }
    int serverBufferFrames(PaHostApiTypeId type) override { return type == paJACK ? jackServerBufferFrames() : 0; }
    void setOutputPortNames(PaDeviceIndex device, const std::vector<std::string>& names) override {
        if (device < 0)
            clearJackPortNames();
        else
            setJackPortNames(device, names);
    }
};

}  // namespace

IPortAudio& systemPortAudio() {
    // Never destroyed: a helper thread abandoned inside a PortAudio call may
    // still return through it while the process exits.
    static SystemPortAudio* instance = new SystemPortAudio();
    return *instance;
}

}  // namespace qv
