meta:
  id: scenario_slots
  title: Compiled scenario, slot file (stations, signboard texts, general values)
  file-extension: sim
  endian: le
  encoding: windows-1252
doc: |
  The 87 scenario slots that the simulator loads for one train's run over a
  line, named LINE_TRAIN.sim: slots 0 to 86 in ascending order, each
  34 + n bytes where n is the length of its name, with no header, no count
  and no padding. A reader finds slot k only by reading slots 0 to k - 1.

  Roles: slot 0 stays empty. Stations fill slots 1 upward in timetable
  order; signboard texts fill slots 80 downward (name only). Slots 81 to 83
  hold the kilometric progressives (num1, num2, num3). Slot 84: num1 the
  braked-mass percentage, num2 the line length L in metres, num3 the number
  of cars. Slot 85: name the line, num1, num3 and num2 the backgrounds one,
  two and three, word1 the format stamp 610, num4 the weighted scenario
  code. Slot 86: name the train number, num1 and num2 start and end of the
  signal repetition in metres, num3 its code count, word1 the sand value,
  word3 to word5 the clock at the start (hours, minutes, seconds).
seq:
  - id: slots
    type: slot
    repeat: expr
    repeat-expr: 87
types:
  slot:
    seq:
      - id: kind
        type: u1
        doc: Station kind (column "tipo"); kinds 25 and above put no marker on the track.
      - id: num1
        type: s4
        doc: Station, start of its extent in metres.
      - id: num2
        type: s4
        doc: Station, end of its extent in metres.
      - id: num3
        type: s4
        doc: Station, its position in metres.
      - id: flag
        type: u1
        doc: Station column "tps".
      - id: name_length
        type: u2
      - id: name
        type: str
        size: name_length
        doc: Station name, signboard text, line name or train number; single-byte text.
      - id: word1
        type: s2
        doc: Station, column "d2" of the first group.
      - id: word2
        type: s2
        doc: Station, column "d3" of the first group.
      - id: word3
        type: s2
        doc: Station, column "d1".
      - id: word4
        type: s2
        doc: Station, column "d2".
      - id: word5
        type: s2
        doc: Station, column "d3".
      - id: byte1
        type: u1
        doc: Station, column "rap".
      - id: byte2
        type: u1
        doc: Station, column "ac".
      - id: byte3
        type: u1
        doc: Station, column "mar".
      - id: byte4
        type: u1
        doc: Station, column "tab".
      - id: num4
        type: s4
        doc: Station, timetable time of day in seconds (hours * 3600 + minutes * 60 + seconds).
