# A tour of the demonstration frame: scripts/start.sh --demo --script docs/demo.ck
timeout 5
wait "Cellarkey - demonstration"
title
menu "File/New List"
wait "Demo list 1"
rows ?LIST
key ?LIST Down
scroll ?LIST pagedown
rows ?LIST
thumb ?LIST 100
rows ?LIST
type ?FIND shop-1100
rows ?LIST
press ?INSERT
answer ok
wait "Cellarkey - demonstration"
menu Window/Tile
menu "File/E&xit"
