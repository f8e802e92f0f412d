// exception - placeholder until the unit is written.
