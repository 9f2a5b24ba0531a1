#pragma once
// The flea figure every act performs with, and the colony preview too.
#include <optional>
#include <string_view>

#include "Tumblewick/stage/mac_flea_hat_kind.h"
#include "platform/canvas.h"

namespace tw {

// One flea with its body centre at (x, y); facing +1 looks towards +x, −1 towards −x.
// Absent colours are the default flea's; `hat` paints the plain top hat, `customHat`
// (other than none) a custom one over it.
void drawFlea(Canvas& context, double x, double y, double facing, double phase, double scale,
              bool hat = false, std::optional<Color> bodyColor = std::nullopt,
              std::optional<Color> headColor = std::nullopt,
              std::optional<MacFleaHatKind> customHat = std::nullopt);

// The performer of `act`: the custom flea that performs it (macCustomFleaByAct), with
// its palette colour, hat, effects and costume, or else the default flea.
void drawActFleaMac(Canvas& context, std::string_view act, double x, double y, double facing, double phase,
                    double scale, bool hat = false);

}  // namespace tw
