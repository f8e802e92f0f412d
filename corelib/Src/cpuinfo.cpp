// cpuinfo - placeholder until the unit is written.
