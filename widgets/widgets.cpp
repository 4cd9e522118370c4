// placeholder until this subsystem is built
