#include "settings/ProfileList.h"

#include "settings/ProfileFile.h"

namespace qv {

ProfileList gProfileList;

void ProfileList::refreshProfileList(const std::string& base, int sim) { m_names = enumerateProfiles(base, sim); }

int ProfileList::profileIndex(const char* activeName) const {
    if (activeName == nullptr)
        return 0;
    for (size_t i = 0; i < m_names.size(); ++i) {
        if (m_names[i] == activeName)
            return static_cast<int>(i);
    }
    return 0;
}

std::string ProfileList::profileNameAt(int index) const {
    if (index < 0 || index >= profileCount())
        return {};
    return m_names[static_cast<size_t>(index)];
}

}  // namespace qv
