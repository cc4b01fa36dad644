# One base-relocation block with no entries, for an image that holds no address to fix: its
# relocation directory then exists and says so, and the loader may map it anywhere. A block
# is its page's RVA and its own size (8 bytes, the header alone).
	.section .reloc,"dr"
	.long 0
	.long 8
