#include "compose/melody_settings.h"

#include "compose/compose_context.h"
#include "styles/composition_parameters.h"

namespace tunecase {

MelodyPartSettings MelodySettings(const ComposeContext& ctx, int part) {
    const CompositionParameters& p = ctx.parameters;
    MelodyPartSettings s;
    if (part < 1 || part >= kPartCount) part = 1;
    s.part = part;
    const int32_t* rules = p.partRules[part];
    s.consonance = rules[rule::Consonance];
    s.rhythmMode = rules[rule::RhythmMode];
    s.effect = rules[rule::Effect];
    s.secondLine = rules[rule::SecondLine];
    s.highest = rules[rule::Highest];
    s.lowest = rules[rule::Lowest];
    s.algorithm = rules[rule::Algorithm];
    s.restSwitch = rules[melody_rule::RestSwitch];
    s.alteration = rules[melody_rule::Alteration];
    s.rhythmRepetition = rules[melody_rule::RhythmRepetition];
    s.intervalRepetition = rules[melody_rule::IntervalRepetition];
    s.walkVariant = rules[melody_rule::WalkVariant];
    s.singable = rules[melody_rule::Singable] == 1;
    s.program = p.partMixer[part][mixer::BlockProgram];
    s.pace = part < static_cast<int>(sizeof p.partPace / sizeof p.partPace[0]) ? p.partPace[part] : 100;
    s.paceClass = paceClass(s.pace);
    s.beat = p.rhythmFeel;
    s.scale = p.scale;
    s.majorKnowledge = p.knowledgeSet == 1;
    return s;
}

}  // namespace tunecase
