meta:
  id: scenario_line_geometry
  title: Compiled scenario, line geometry file (the plan of the line, metre by metre)
  file-extension: dat
  endian: le
doc: |
  The plan of a line, named LINE_linea.dat: the point (x, y) of the track
  centre line in metres for every metre 0 to L + 7000 from the line start,
  L being the line length that slot 84 of the slot file holds. The file is
  2 * (L + 7001) tagged values with no header and no count: first every x
  value of metres 0, 1, ..., L + 7000, then every y value of the same
  metres. The line starts at (0, 0) heading towards +y; metres 0 and 1 are
  the 16-bit integers (0, 0) and (0, 1), later metres doubles, and the last
  two metres of each half are empty unless a curve reached them.

  Tagged values differ in length, so a reader walks them in order; the y
  half starts after metre_count x values.
seq:
  - id: values
    type: tagged_value
    repeat: eos
instances:
  metre_count:
    value: values.size / 2
types:
  tagged_value:
    seq:
      - id: tag
        type: u2
        enum: value_tag
        valid:
          any-of:
            - value_tag::empty
            - value_tag::integer
            - value_tag::real
      - id: integer_value
        type: s2
        if: tag == value_tag::integer
      - id: real_value
        type: f8
        if: tag == value_tag::real
enums:
  value_tag:
    0: empty
    2: integer
    5: real
