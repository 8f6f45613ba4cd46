// Which time chart files and which tonic chord the engine uses for the current style.
//
// The choice is made when a style is applied, from the record's knowledge set,
// progression family, meter and pattern file name; the knowledge loader then reads the
// chosen files and the chord progression starts from (and falls back to) the tonic.
#pragma once

#include <string>

namespace tunecase {

struct CompositionParameters;

struct KnowledgeNames {
    std::string timeChartFile = "TIMECHT.DB";
    std::string cadenceTimeChartFile = "RESTIME.DB";
    char tonic[5] = "CMPS";  // four-character chord code
};

// The names the naming rules give record `p` in the ".DB" form (`knowledgeSet` 1) or the
// ".DB2" form (any other value):
//   family 6: TIMECHT.DB / RESTIME.DB, tonic CMPs, and the record's knowledge set becomes 1;
//   else set 1: TIMECHT.DB / RESTIME.DB, tonic CMPS; set 2: TIMECHT.DB2 / RESTIME.DB2, AmPs;
//   then 3/4 uses TIMECHT3.DB / RESTIME3.DB and 7/8 TIMECHT7.DB / RESTIME7.DB;
//   a pattern file named exactly "PATTERN.DBB" makes the tonic CMPs.
KnowledgeNames SelectKnowledgeNames(CompositionParameters& p, int knowledgeSet);

}  // namespace tunecase
