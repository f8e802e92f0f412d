// xstring - placeholder until the unit is written.
