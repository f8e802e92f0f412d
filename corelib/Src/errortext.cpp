// errortext - placeholder until the unit is written.
