"""Lists the boards and what their module positions carry."""
import mfb

for info in mfb.boards():
    with mfb.open(info.index) as board:
        modules = [board.module_function(position) for position in range(info.positions)]
    print(f"board {info.index}: {info.identifier}, serial {info.serial:#010x}: {', '.join(modules)}")
