#pragma once
// Painting what makes a custom flea its own: hats, aura, sparkle trail, gold star
// and the act costumes. Shapes scale with `s`; y grows downward.
#include <string_view>

#include "Tumblewick/stage/mac_flea_hat_kind.h"
#include "platform/canvas.h"

namespace tw {

// A top hat whose brim rests at y = top: crown, brim, then the band. The plain flea's
// hat and the custom one differ only in their two colours.
void drawTopHat(Canvas& context, double hx, double top, double s, Color hat, Color band);

// One hat on a head centred at (hx, hy) of radius hr (callers pass 4.5·s); nothing for none.
void drawMacCustomHat(Canvas& context, MacFleaHatKind kind, double hx, double hy, double hr, double s);

// Three pulsing translucent rings around the body centre; paint before the body.
void drawFleaAuraMac(Canvas& context, double x, double y, double scale, Color color, double phase);

// The sparkle trail, then the gold star, each only when asked for.
void drawFleaDecorationsMac(Canvas& context, double x, double y, double scale, bool sparkleTrail,
                            bool goldAccents, double phase);

// The costume of `act` for a figure whose body centre is (fleaX, fleaY); nothing for
// acts without one.
void drawCostumeMac(Canvas& context, std::string_view act, double fleaX, double fleaY, double facing,
                    double phase, double scale);

}  // namespace tw
