// The train source of the run: the train's data, speed limits, stations with
// their timetable, the slow order and the signals, read back by the train
// compiler and then deleted. 113 lines.
// Blanks that belong to the text: line 1 opens with 18; line 8, the clock
// row, ends in 1.
// Keep every blank: editors must not trim this file.
#pragma once

#include <string_view>

#include "scenario/document_table.h"

namespace scenc::texts {

inline constexpr std::string_view kTrainSource = listing(R"(
                  Treno 11711 percorso Firenze S.M.N. Pisa C.le

inizio_dati
[generale]
numero vetture,    6
percentuale massa frenata,    120
sabbia,    300
orologio,    10              49            30 
[aderenze]
aderenza,  0, 100
[vel_limite]
velocita' limite ,     0    ,  30
velocita' limite ,   500    ,  115
velocita' limite ,  2760    ,   95
velocita' limite ,  7380    ,  130
velocita' limite , 15000    ,  115
velocita' limite , 17000    ,  100
velocita' limite , 18600    ,   90
velocita' limite , 20800    ,   80
velocita' limite , 22150    ,   90
velocita' limite , 27560    ,  150
velocita' limite , 30000    ,  160
velocita' limite , 32600    ,  150
velocita' limite , 34700    ,  160
velocita' limite , 42150    ,  150
velocita' limite , 47960    ,  130
velocita' limite , 50740    ,  160
velocita' limite , 60550    ,  150
velocita' limite , 62600    ,  160
velocita' limite , 67100    ,  150
velocita' limite , 70650    ,  130

[stazioni]
-           pos. tipo lung. t  t  m    d d r   d d d   a   o  o  o   nome                                     ,
-                           p  a  a    2 3 a   1 2 3   c   r  r  r
-                           s  b  r        p               o  m  s
stazione,      0,  8, 400,  1, 0, 0,   4,0,0,  2,1,0,  1, 10,50, 0, FIRENZE S.M.N.
Stazione,   2750,  2, 600,  0, 0, 1,   1,1,0,  3,1,1, 60, 10,56, 0, FIRENZE RIFREDI
stazione,   7400,  4, 500,  0, 0, 1,   1,1,0,  4,1,1,  0,  0, 0, 0, FIRENZE CASCINE
stazione,  11950, 28, 400,  0, 0, 0,   0,0,0,  0,0,0,  0,  0, 0, 0, S.DONNINO
stazione,  15900, 12, 600,  0, 0, 1,   1,1,0,  4,1,1, 60, 11,10, 0, SIGNA
stazione,  19150, 28, 300,  0, 0, 0,   0,0,0,  0,0,0,  0,  0, 0, 0, CARMIGNANO
stazione,  27550, 22, 400,  0, 0, 0,   0,0,0,  4,1,1, 60, 11,21, 0, MONTELUPO
stazione,  33800,  4, 600,  0, 0, 0,   1,1,0,  4,1,1, 60, 11,27, 0, EMPOLI
stazione,  43400, 22, 500,  0, 0, 0,   1,1,0,  4,1,1, 60, 11,34, 0, S.MINIATO
stazione,  49300, 22, 600,  0, 0, 0,   1,1,0,  4,1,1, 60, 11,39, 0, S.ROMANO
stazione,  56800, 28, 300,  0, 0, 0,   0,0,0,  0,0,0,  0,  0, 0, 0, LA ROTTA
stazione,  61400,  4, 600,  1, 0, 0,   4,1,0,  2,1,1, 60, 11,56, 0, PONTEDERA
stazione,  68300, 22, 400,  0, 0, 0,   1,1,0,  4,1,1, 60, 12,03, 0, CASCINA
stazione,  70650, 28, 300,  0, 0, 0,   0,0,0,  0,0,0, 60, 12,06, 0, S.FREDIANO
stazione,  73200, 22, 400,  0, 0, 0,   1,1,0,  3,1,1, 60, 12,10, 0, NAVACCHIO
stazione,  80850,  2, 700,  1, 0, 0,   1,1,0,  4,1,1,  0, 12,17, 0, PISA C.le

[codici]
[rallentamenti]
rallentamento,  9300, 30, 50, 0, 1, 0
[segnali]

-                1                     destra
-                a  d1 d2 d3 ra       d1 d2 d3 ac
-                v
segnale,   1000, 1, 4, 1, 0, 0,     0, 0, 0, 0, 0
segnale,   2100, 2, 3, 1, 1, 0,     2, 2, 1, 1, 0
segnale,   4600, 2, 4, 1, 0, 0,     2, 2, 1, 0, 250
segnale,   6400, 2, 4, 1, 1, 0,     2, 2, 1, 1, 0
segnale,   9800, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  11750, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  13700, 2, 5, 1, 0, 0,     2, 2, 1, 0, 0
segnale,  15100, 2, 3, 1, 1, 0,     2, 2, 1, 1, 0

segnale,  18050, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  20000, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  21950, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  23500, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  24850, 2, 4, 1, 0, 0,     2, 2, 1, 0, 0
segnale,  25950, 2, 3, 1, 1, 0,     2, 2, 1, 1, 0

segnale,  29450, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  31250, 2, 4, 1, 0, 0,     2, 2, 1, 0, 0
segnale,  32600, 2, 3, 1, 1, 0,     2, 2, 1, 1, 0

segnale,  35750, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  37700, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  39450, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  40800, 2, 4, 1, 0, 0,     2, 2, 1, 0, 0
segnale,  42150, 2, 3, 1, 1, 0,     2, 2, 1, 1, 0

segnale,  45150, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  46600, 2, 4, 1, 0, 0,     2, 2, 1, 0, 0
segnale,  47950, 2, 3, 1, 1, 0,     2, 2, 1, 1, 0

segnale,  51100, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  52500, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  54350, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  55800, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  57650, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  59050, 2, 3, 4, 0, 0,     2, 2, 1, 0, 0
segnale,  60550, 2, 2, 3, 1, 0,     2, 2, 1, 1, 0

segnale,  63200, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  64200, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  65550, 2, 4, 1, 0, 0,     2, 2, 1, 0, 0
segnale,  67100, 2, 3, 1, 1, 0,     2, 2, 1, 1, 0

segnale,  70300, 2, 4, 1, 0, 0,     2, 2, 1, 0, 0
segnale,  71500, 2, 3, 1, 1, 0,     2, 2, 1, 1, 0

segnale,  74800, 2, 4, 0, 0, 0,     2, 1, 0, 0, 190
segnale,  76150, 2, 4, 0, 0, 0,     2, 1, 0, 0, 0
segnale,  77500, 2, 5, 6, 0, 0,     2, 2, 1, 0, 0
segnale,  79150, 2, 2, 3, 1, 1,     2, 2, 1, 1, 0

[fine]
)");

}  // namespace scenc::texts
