#pragma once
// The list of a simulator's saved profile names that the profile selector
// and the profile dialogs show. Owned and used by the GUI thread only.

#include <string>
#include <vector>

namespace qv {

class ProfileList {
public:
    // Replaces the list with enumerateProfiles(base, sim).
    void refreshProfileList(const std::string& base, int sim);
    // Position of `activeName` in the list; 0 when it is not there.
    int profileIndex(const char* activeName) const;
    int profileCount() const { return static_cast<int>(m_names.size()); }
    // The name at `index`; empty outside 0..count-1.
    std::string profileNameAt(int index) const;

    const std::vector<std::string>& names() const { return m_names; }

private:
    std::vector<std::string> m_names;
};

// The GUI thread's list of the selected simulator's profiles.
extern ProfileList gProfileList;

}  // namespace qv
