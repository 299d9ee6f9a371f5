# The window program: run it, or take pictures of it.
#   make run               builds the windows preset and starts Quorvane.exe under Wine on $DISPLAY
#   make screenshots       pictures of its windows in build/screenshots/ (virtual display)
#   make screenshots-docs  the same, copied to docs/screenshots/ for the README
.PHONY: run screenshots screenshots-docs

run:
	@scripts/run-app --check
	$(MAKE) --no-print-directory windows
	scripts/run-app build/windows/app/Quorvane.exe

screenshots: windows
	scripts/screenshots

screenshots-docs: windows
	scripts/screenshots --docs
