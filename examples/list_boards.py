"""Lists the boards and what their module positions carry."""
import mfb

FUNCTIONS = ["empty", "counter", "timer", "TTL I/O", "SSI", "PWM", "ETM", "frequency", "pulse encoder"]

for info in mfb.boards():
    with mfb.open(info.index) as board:
        modules = []
        for position in range(info.positions):
            kind = board.module_configuration(position) & 0xFF
            modules.append(FUNCTIONS[kind] if kind < len(FUNCTIONS) else hex(kind))
    print(f"board {info.index}: {info.identifier}, serial {info.serial:#010x}: {', '.join(modules)}")
