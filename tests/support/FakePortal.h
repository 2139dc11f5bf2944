#pragma once
// A fake XDG desktop portal with a FileChooser on a private session bus: it
// owns org.freedesktop.portal.Desktop, records every SaveFile and OpenFile
// call and answers with the Response the test set up (or none, to test a
// caller that gives up). Its connection runs on a thread of its own.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qv::test {

class FakePortal {
public:
    struct Call {
        std::string method;        // "SaveFile" or "OpenFile"
        std::string parentWindow;
        std::string title;
        std::string options;       // the a{sv} as g_variant_print writes it
        std::string handle;        // the request object path it answered
    };

    explicit FakePortal(std::string busAddress);
    ~FakePortal();
    FakePortal(const FakePortal&) = delete;
    FakePortal& operator=(const FakePortal&) = delete;

    // Takes the portal's name; false (with error()) when that failed.
    bool start();

    // How the next calls are answered: response 0 with the URI, 1 cancelled,
    // or no answer at all (the request object then accepts Close).
    void answer(uint32_t response, std::string uri);
    void answerNever();

    std::vector<Call> calls() const;
    int closedRequests() const;
    std::string error() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace qv::test
