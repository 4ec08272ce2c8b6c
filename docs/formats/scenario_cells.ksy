meta:
  id: scenario_cells
  title: Compiled scenario, cell file (the 50 m track cells of one train's run)
  file-extension: dat
  endian: le
doc: |
  The grid of 50 m track cells that the simulator loads for one train's run
  over a line, named LINE_TRAIN.dat. It holds cells 0 to N in ascending
  order, 15 bytes each, with no header, no count, no padding and no
  checksum. N = round((L + 7000) / 50), halves to even, where L is the line
  length in metres that slot 84 of the slot file holds (num2); the grid
  runs 7000 m past the end of the line. The file is 15 * (N + 1) bytes:
  26715 bytes for a line of 82000 m.

  A signal, board or signboard at position p metres stands on cell
  round(p / 50 + 1), halves to even, so the object of cell i stands at
  (i - 1) * 50 m. Gradient, speed limit, adhesion and mountain type hold
  for the metres 50 * i to 50 * i + 49.

  Cell 1 is reserved: after a finished build its value1 holds the format
  stamp 5121 and its value2 the plain scenario code.
seq:
  - id: cells
    type: cell
    repeat: eos
types:
  cell:
    seq:
      - id: kind
        type: u1
        enum: cell_kind
        doc: The object on the cell; free (0) and mountain marker (11) count as free.
      - id: value1
        type: s2
        doc: |
          signal: s1 * 10 + d1; slow-order start, end and warning: the slow
          order's speed v in km/h; slow-order approach: 1 to 4, 1 nearest the
          warning; speed board: round(vas * 20 + vad / 5), that is vas / 5 in
          the hundreds and vad / 5 in the units; station marker: slot of the
          station; signboard: slot of its text; abbattimento: its value
          (180 when the finishing pass placed it).
      - id: value2
        type: s2
        doc: |
          signal: s2 * 10 + d2; slow-order cells: d_v when it is not 0 (on
          approach cells the same 1 to 4 as value1); speed board: vbs and vbd
          packed as value1.
      - id: value3
        type: s2
        doc: |
          signal: s3 * 10 + d3; slow-order start and end: f_tt; speed board:
          vcs and vcd packed as value1.
      - id: value4
        type: s2
        doc: "signal: rapp * 10 + sx * 3 + dx; speed board: strisces * 10 + strisced."
      - id: signal_time
        type: u1
        doc: Signal cells with sx = 2, the low byte of the signal's time value (1 to 100 raised to 101); else 0.
      - id: approach
        type: u1
        doc: |
          Approach code on the four cells 100, 200, 300 and 400 m before a
          signal ((sx * 3 + dx) * 10 + k, k = 1 nearest) or before a
          station's marker (80 + k).
      - id: mountain
        type: u1
        doc: Mountain type of the cell, 0 outside mountains.
      - id: speed_limit
        type: u1
        doc: Line speed limit in km/h divided by 5.
      - id: gradient
        type: u1
        doc: Gradient in per mille plus 100 (96 is -4 per mille); 0 on the last cells past the fills.
      - id: adhesion
        type: u1
        doc: Adhesion value, low 8 bits.
    instances:
      speed_limit_kmh:
        value: speed_limit * 5
      gradient_per_mille:
        value: gradient - 100
enums:
  cell_kind:
    0: free
    1: signal
    2: slow_order_end
    3: slow_order_start
    4: slow_order_warning
    5: slow_order_approach
    6: speed_board
    10: station_marker
    11: mountain_marker
    12: abbattimento
    13: abbattimento_zero
    14: signboard
