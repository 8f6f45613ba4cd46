#include "styles/knowledge_names.h"

#include <cstring>

#include "styles/composition_parameters.h"

namespace tunecase {

KnowledgeNames SelectKnowledgeNames(CompositionParameters& p, int knowledgeSet) {
    KnowledgeNames names;
    if (p.progressionFamily == 6) {
        names.timeChartFile = "TIMECHT.DB";
        names.cadenceTimeChartFile = "RESTIME.DB";
        std::memcpy(names.tonic, "CMPs", 5);
        p.knowledgeSet = 1;
    } else if (knowledgeSet == 1) {
        names.timeChartFile = "TIMECHT.DB";
        names.cadenceTimeChartFile = "RESTIME.DB";
        std::memcpy(names.tonic, "CMPS", 5);
    } else {
        names.timeChartFile = "TIMECHT.DB2";
        names.cadenceTimeChartFile = "RESTIME.DB2";
        std::memcpy(names.tonic, "AmPs", 5);
    }
    // There are no minor charts for 3/4 and 7/8: the meter wins over the knowledge set.
    if (p.timeSignature == 1) {
        names.timeChartFile = "TIMECHT3.DB";
        names.cadenceTimeChartFile = "RESTIME3.DB";
    } else if (p.timeSignature == 2) {
        names.timeChartFile = "TIMECHT7.DB";
        names.cadenceTimeChartFile = "RESTIME7.DB";
    }
    if (std::strncmp(p.patternFileName, "PATTERN.DBB", sizeof p.patternFileName) == 0)
        std::memcpy(names.tonic, "CMPs", 5);
    return names;
}

}  // namespace tunecase
