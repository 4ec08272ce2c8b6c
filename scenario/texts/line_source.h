// The line source of the run: what the line compiler reads back, section by
// section, before deleting it. 121 lines.
// Trailing blanks that belong to the text: line 4 ends in 2, line 5 in 26.
// Keep every blank: editors must not trim this file.
#pragma once

#include <string_view>

#include "scenario/document_table.h"

namespace scenc::texts {

inline constexpr std::string_view kLineSource = listing(R"(
Percorso Firenze S.M.N. Pisa C.le


inizio_dati  
[generale]                          
lunghezza percorso,    82000
progressiva chilometrica uno,    0,    0,    0
progressiva chilometrica due,    0,    0,    0
progressiva chilometrica tre,    0,    0,    0
sfondo uno,    1
sfondo due,    0
sfondo tre,    0
ripetizione segnali 4 codici,    4650,    79150
[pendenze]
pendenza  , 300    , 4
pendenza  , 500    , 0
pendenza  , 2000   , 4
pendenza  , 2300   , 0
pendenza  , 4000   , -4
pendenza  , 4600   , -2
pendenza  , 6000   , 0
pendenza  , 8000   , -1
pendenza  , 14000   , 1
pendenza  , 16000   , 0
pendenza  , 22200   , -3
pendenza  , 22600   , 0
pendenza  , 26000   , 2
pendenza  , 27000   , 0
pendenza  , 56000   , 4
pendenza  , 57000   , 0
pendenza  , 60000   , 2
pendenza  , 60400   , 0
pendenza  , 60500   , -4
pendenza  , 61000   , 0
[curve]

curvas2,   700,  100
curvas3,  1100,  50
curvad3,  1150,  300
curvad3,  1400,  100
curvas4,  2100,  200
curvad3,  2300,  150
curvas5,  4050,  700
curvad5,  6450,  500
- cascine
curvas3,  8200,  400
curvad3,  8700,  800
curvas3,  9850,  500
curvas4,  14000, 600
curvad4,  15000, 500
curvad3,  15500, 500
- signa
curvad4,  16000, 800
curvas5,  17500, 700
curvad6,  18600, 400
curvas6,  19000, 400
- carmignano
curvad6,  19300, 150
curvas5,  20350, 300
curvad6,  20800, 800
curvas5,  21550, 600
curvas4,  22300, 700
curvas3,  23750, 1000
curvad5,  25100, 300
curvas5,  25400, 300
curvad5,  25900, 300
curvas4,  27100, 300
-montelupo
- s romano
curvad4,  29300, 1000
curvas4,  48100, 700
curvad4,  48700, 1100
curvas4,  49800, 700
curvas2,  53000, 100
curvad2,  53100, 100
curvad2,  53400, 100
curvas2,  53500, 100
curvas4,  55400, 1000
curvad4,  56400, 1400
- la rotta
curvas4,  60000, 600
curvad2,  60900, 100
curvad3,  64200, 400
curvas4,  70300, 400
curvas2,  74000, 500
curvad4,  74800, 700
curvad3,  76100, 600
curvad3,  77500, 200
curvad4,  79300, 200
curvas4,  79700, 200
[cartelli]

indicatori_vmax, 800, 105, 115, 120, 0, 0, 0, 0, 0
indicatori_vmax, 1900, 90, 95, 100, 0, 0, 0, 0, 0
indicatori_vmax, 7800, 120, 130, 135, 0, 120, 130, 135, 0
indicatori_vmax, 14050, 110, 115, 120, 0, 110, 115, 120, 0
indicatori_vmax, 15200, 95, 100, 105, 0, 95, 100, 105, 0
indicatori_vmax, 17950, 85, 90, 95, 0, 85, 90, 95, 0
indicatori_vmax, 20050, 75, 80, 85, 0, 75, 80, 85, 0
indicatori_vmax, 22150, 85, 90, 95, 0, 85, 90, 95, 0
indicatori_vmax, 27850, 140, 150, 150, 0, 140, 150, 150, 0
indicatori_vmax, 30050, 140, 160, 160, 0, 140, 160, 160, 0
indicatori_vmax,  32050,  140,  150,  150,  0,  140,  150,  150,  0
indicatori_vmax, 34700, 140, 160, 160, 0, 140, 160, 160, 0
indicatori_vmax, 41250, 140, 150, 150, 0, 140, 150, 150, 0
indicatori_vmax, 46950, 120, 130, 135, 0, 120, 130, 135, 0
indicatori_vmax, 50750, 140, 160, 160, 0, 140, 160, 160, 0
indicatori_vmax, 59500, 140, 150, 150, 0, 140, 150, 150, 0
indicatori_vmax, 62600, 140, 160, 160, 0, 140, 160, 160, 0
indicatori_vmax, 66200, 140, 150, 150, 0, 120, 130, 135, 0
indicatori_vmax, 69650, 120, 130, 135, 0,   0,   0,   0, 0

[montagne]
montagna, 29100,29200,2
montagna, 57050,57350,1
[indicazioni]

cartello indicatore,  18550,    (  Km. ) (18.600)
cartello indicatore,  20750,    (  Km. ) (20.800)
cartello indicatore,  22100,    ( Ponte  ) (su fiume) (  Arno  )
[fine]
)");

}  // namespace scenc::texts
