// Stands for the network's tag script: the adapters read the tag and never run it.
