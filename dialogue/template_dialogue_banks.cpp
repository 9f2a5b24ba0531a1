#include "dialogue/template_dialogue_banks.h"

namespace tw {

namespace {
using T = AgentDialogueTone;
}  // namespace

const TemplateBank& genericBank() {
    static const TemplateBank bank{
        {"clean_success",
         {
             {"That's exactly the line.", T::proud},
             {"I felt it land.", T::proud},
             {"Nailed it. On to the next.", T::brave},
             {"Once more, just like that.", T::proud},
             {"That's the one I practised.", T::proud},
             {"Crowd held its breath. Good.", T::proud},
             {"Knew it would land tonight.", T::brave},
         }},
        {"spotlight_bloom",
         {
             {"Tell me you saw that.", T::electric},
             {"I felt the room with me.", T::electric},
             {"That was the bloom.", T::electric},
             {"We breathed in together.", T::electric},
             {"The spotlight knew first.", T::mysterious},
             {"Lit me up clean through.", T::electric},
         }},
        {"tender_recovery",
         {
             {"Caught me. Owe you one.", T::tender},
             {"I'm here. Still here.", T::tender},
             {"Wobbled, didn't fall.", T::tender},
             {"Soft hands. Soft landing.", T::tender},
             {"That was close. Thank you.", T::tender},
             {"Sat with it. Got back up.", T::tender},
         }},
        {"comic_bit",
         {
             {"Worth it for the gasp.", T::playful},
             {"Tell that joke again later.", T::playful},
             {"They laughed. That's a win.", T::playful},
             {"My timing's improving.", T::playful},
             {"Sometimes the bit IS the act.", T::playful},
             {"Crowd loves a fool.", T::playful},
         }},
        {"brave_attempt",
         {
             {"Tried the harder one.", T::brave},
             {"That's the leap. Took it.", T::brave},
             {"Won't know unless I try.", T::brave},
             {"Bigger swing tonight.", T::brave},
             {"Aimed past easy.", T::brave},
             {"Was scared. Did it anyway.", T::brave},
         }},
        {"growth_moment",
         {
             {"A little better than yesterday.", T::wistful},
             {"Body remembered this time.", T::wistful},
             {"Inch closer.", T::wistful},
             {"Each pass costs less.", T::wistful},
             {"Slowly, then steadier.", T::wistful},
             {"Today added up.", T::wistful},
         }},
        {"strange_magic",
         {
             {"Something else was here.", T::mysterious},
             {"The tent went still for a second.", T::mysterious},
             {"Not sure what just happened.", T::mysterious},
             {"A moment that wasn't mine alone.", T::mysterious},
             {"The light bent strangely.", T::mysterious},
             {"Mark this one in the diary.", T::mysterious},
         }},
        {"bonding_moment",
         {
             {"We caught the same breath.", T::tender},
             {"{partner} stayed close.", T::tender},
             {"Trust the hands; trust the face.", T::tender},
             {"Something settled between us.", T::tender},
             {"Glad you were there for that.", T::tender},
             {"Leaned in. {partner} leaned back.", T::tender},
         }},
        {"soft_miss",
         {
             {"Almost. Closer next time.", T::wistful},
             {"Off by an inch. Useful inch.", T::wistful},
             {"Missed kindly.", T::wistful},
             {"Tomorrow then.", T::wistful},
             {"Filed it under 'keep going'.", T::wistful},
             {"Half there. The good half.", T::wistful},
         }},
        {"player_gift",
         {
             {"Oh — for me?", T::tender},
             {"I'll keep this with me.", T::tender},
             {"You noticed. That counts.", T::tender},
             {"Means more than I can say.", T::tender},
             {"Carrying it onstage tonight.", T::proud},
             {"Held tight. Thank you.", T::tender},
         }},
        {"return_event",
         {
             {"Knew you'd be back.", T::cozy},
             {"Ready when you are.", T::cozy},
             {"We waited. Worth it.", T::cozy},
             {"Stage missed you.", T::cozy},
             {"Light's still on. Come in.", T::cozy},
             {"Where were we?", T::cozy},
         }},
        {"refusal",
         {
             {"Not tonight. Tomorrow's fine.", T::wistful},
             {"Sitting this one out.", T::wistful},
             {"Nope. Not feeling it.", T::playful},
             {"Pass. Body says rest.", T::wistful},
             {"Going to take five.", T::wistful},
             {"I'll watch from here.", T::cozy},
         }},
        {"pre_action_ritual",
         {
             {"Three for luck.", T::mysterious},
             {"East first. Always east.", T::mysterious},
             {"Knuckles knock the wood.", T::mysterious},
             {"Whisper it. Then do it.", T::mysterious},
             {"Spin once. Spin twice.", T::mysterious},
             {"Same as last time. Exactly.", T::mysterious},
         }},
        {"wander_thought",
         {
             {"Stretch the legs a moment.", T::cozy},
             {"Wonder what's over there.", T::cozy},
             {"Big tent for such a small troupe.", T::wistful},
             {"I like this corner.", T::cozy},
             {"Light pools nicely here.", T::wistful},
             {"Ground's warmer this side.", T::cozy},
         }},
    };
    return bank;
}

const TemplateBank& residentBank() {
    static const TemplateBank bank{
        {"nova_clean_success",
         {
             {"Wire and breath, agreed.", T::proud},
             {"Pole and balance, both.", T::proud},
         }},
        {"nova_tender_recovery",
         {
             {"Pip, you're a marvel.", T::tender},
             {"Wobble's part of the dance.", T::tender},
         }},
        {"nova_brave_attempt",
         {
             {"One foot in front of fear.", T::brave},
         }},
        {"pip_clean_success",
         {
             {"Heavier than yesterday. Lighter to me.", T::proud},
             {"Bell hit clean.", T::proud},
         }},
        {"pip_growth_moment",
         {
             {"Reps add up. Always.", T::wistful},
         }},
        {"pip_pre_action_ritual",
         {
             {"Chalk. Hands. Breath.", T::mysterious},
         }},
        {"rex_brave_attempt",
         {
             {"Light the fuse. Trust the arc.", T::brave},
         }},
        {"rex_spotlight_bloom",
         {
             {"Born for the bang.", T::electric},
         }},
        {"rex_clean_success",
         {
             {"Net caught me right.", T::proud},
         }},
        {"zing_bonding_moment",
         {
             {"We always catch each other.", T::tender},
         }},
        {"zing_spotlight_bloom",
         {
             {"The air held me.", T::electric},
         }},
        {"dot_growth_moment",
         {
             {"Wheel learned to listen.", T::wistful},
         }},
        {"dot_strange_magic",
         {
             {"The wheel turned the wrong way once. Then both.", T::mysterious},
         }},
        {"fizz_comic_bit",
         {
             {"Three balls. Two hands. One disaster.", T::playful},
             {"Caught one with my elbow!", T::playful},
         }},
        {"fizz_clean_success",
         {
             {"All three. Up and down. Yes.", T::proud},
         }},
        {"blaze_pre_action_ritual",
         {
             {"Three breaths in. Hold. Release.", T::mysterious},
             {"Always face the wind first.", T::mysterious},
         }},
        {"blaze_brave_attempt",
         {
             {"Bigger flame tonight.", T::brave},
         }},
        {"bugg_brave_attempt",
         {
             {"Ramp says no. I say louder.", T::brave},
             {"That gap looks sarcastic.", T::playful},
         }},
        {"bugg_clean_success",
         {
             {"Landed it. The tax forms survived emotionally.", T::proud},
         }},
        {"bugg_comic_bit",
         {
             {"I only jumped the banana to be polite.", T::playful},
         }},
        {"bugg_spotlight_bloom",
         {
             {"Engines count as applause.", T::electric},
         }},
    };
    return bank;
}

const std::vector<CandidateLine>& defaultCandidateLines() {
    static const std::vector<CandidateLine> lines{
        {"...", T::cozy},
        {"Mm.", T::wistful},
        {"Hmm.", T::mysterious},
    };
    return lines;
}

}  // namespace tw
