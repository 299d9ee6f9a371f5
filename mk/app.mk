# The window program: run it, or take pictures of it.
#   make run               builds Quorvane.exe and starts it under Wine on $DISPLAY (the 64-bit build
#                          under wine64 where this host cannot start 32-bit programs)
#   make screenshots       pictures of its windows in build/screenshots/ (virtual display)
#   make screenshots-docs  the same, copied to docs/screenshots/ for the README
.PHONY: run screenshots screenshots-docs

run:
	@scripts/run-app --check
	$(MAKE) --no-print-directory $$(scripts/windows-suite)
	scripts/run-app

screenshots:
	$(MAKE) --no-print-directory $$(scripts/windows-suite)
	scripts/screenshots

screenshots-docs:
	$(MAKE) --no-print-directory $$(scripts/windows-suite)
	scripts/screenshots --docs
