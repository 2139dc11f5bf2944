#pragma once
// The machine's list of installed ASIO drivers. On Windows it lives in the
// registry under HKEY_LOCAL_MACHINE "SOFTWARE\ASIO", once in the 64-bit and
// once in the 32-bit view, one subkey per driver with a "CLSID" value. ASIO
// drivers exist only on Windows: the Linux implementation finds none, and
// tests give the device enumeration fake entries.

#include <string>
#include <vector>

namespace qv {

// The two registry views, visited in this order.
enum class AsioRegistryView { Native64, Wow32 };

// One subkey of a view, at its enumeration index (its position in the list).
struct AsioRegistryKey {
    std::string name;   // the subkey name, the driver's name
    std::string clsid;  // the "CLSID" value; empty when the subkey or the value does not open
};

// Longest subkey name and class identifier the readers keep (their buffers
// hold 256 and 64 bytes with the terminator); longer texts are cut.
inline constexpr size_t kAsioKeyNameMax = 255;
inline constexpr size_t kAsioClsidMax = 63;

class IAsioRegistry {
public:
    virtual ~IAsioRegistry() = default;
    // The subkeys of one view in enumeration order; false when the view does
    // not open (keys is then empty).
    virtual bool readView(AsioRegistryView view, std::vector<AsioRegistryKey>& keys) = 0;
};

// The Linux registry: no ASIO drivers in either view.
class NoAsioRegistry final : public IAsioRegistry {
public:
    bool readView(AsioRegistryView view, std::vector<AsioRegistryKey>& keys) override;
};

// The process-wide Linux instance.
IAsioRegistry& systemAsioRegistry();

}  // namespace qv
