#pragma once
// iRacing's telemetry memory as the simulator lays it out: a header with
// three rotating data buffers, 144-byte variable headers and 60 rows a second;
// in 360 Hz mode each shock variable also comes as an "_ST" variable of six
// sub-samples. The data-valid event is signalled after every row.

#include "platform/NamedEvent.h"
#include "platform/SharedMemory.h"
#include "simfeed/FeedWriter.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace qv::simfeed {

class IRacingFeedWriter final : public FeedWriter {
public:
    explicit IRacingFeedWriter(const FeedConfig& config);
    ~IRacingFeedWriter() override { close(); }

    bool open() override;
    void publish(double t, int tick) override;
    void close() override;
    void discard() override;
    int tickRate() const override { return kTickRate; }
    std::string describe() const override;

    static constexpr int kTickRate = 60;
    static constexpr int kBufferCount = 3;

private:
    struct Variable {
        std::string name;
        int32_t type;
        int32_t count;
        bool countAsTime;
        // The value of element `index`, given the states at the row's six
        // sub-sample times (states[5] is the row's own time).
        std::function<double(const DriveState* states, int index)> value;
        int32_t offset = 0;
    };

    void addVariables();
    void addFloat(const std::string& name, std::function<float(const DriveState&)> get);
    void addSubSampled(const std::string& name, std::function<float(const DriveState&)> get);
    void writeInt(size_t offset, int32_t value);

    FeedConfig m_config;
    SharedMemoryMap m_map;
    NamedEvent m_event;
    std::vector<Variable> m_vars;
    size_t m_rowLength = 0;
    size_t m_firstRow = 0;
    bool m_running = false;
};

}  // namespace qv::simfeed
