#pragma once

#include "core/base/clock.h"
#include "core/base/expected.h"

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace fenlowick {

/// Sources of a finished run counted as one: the group's share in a feasible solution is
/// the sum of its members' shares.
struct SourceGroup {
    std::string name;
    std::vector<std::string> members;
};

/// Reads a group as typed on the command line: NAME=MEMBER,MEMBER,... A member that holds
/// a comma is written in double quotes (Marine="Fish, salted",Seals). Blanks around names
/// are kept, since source labels may have them. Refused with a message naming the problem.
Expected<SourceGroup> parseSourceGroup(std::string_view text);

/// A totals file for the combined sources of a run.
struct CombinedTotals {
    std::string text;                 ///< the whole totals file
    std::uint64_t observations = 0;   ///< the feasible solutions read
    std::vector<std::string> sources; ///< the combined sources' labels, in file order
};

/// Reads a feasible-output file and writes the totals file of the run as if the sources of
/// each group had been one. Groups take the place of their first member; sources in no group
/// keep theirs. Each solution counts once: an ungrouped source at the level the search
/// counted it, a group at the sum of its members' levels (its share in whole steps of the
/// increment). The header is the run's, with the combined sources listed (groups of two or
/// more sources without signatures) and the groups named after the title.
/// Errors: FileRead when the text is not a feasible-output file (the message says where),
/// Refused when a group names an unknown source, a source twice, or a name already taken.
Expected<CombinedTotals> combineFeasibleOutput(std::istream& in,
                                               const std::vector<SourceGroup>& groups,
                                               const DateTimeTexts& now);

} // namespace fenlowick
