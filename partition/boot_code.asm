; Boot code of the master boot record written by the partition table repair: the first 440
; bytes of sector 0. The firmware loads the sector to 0000:7C00 and jumps there with the boot
; drive in DL. The code moves itself to 0000:0600 so that the active partition's boot sector
; can be loaded to 0000:7C00 in its place, then hands over to that boot sector.
;
; The last three bytes hold the low bytes of the three messages' addresses relative to 0x0700,
; so the messages must lie between 0x0700 and 0x07B4; the printing code reads the addresses
; from there.

bits 16
cpu 386
org 0x0600

RELOCATED       equ 0x0600
LOADED          equ 0x7C00
TABLE           equ RELOCATED + 446
SIGNATURE       equ LOADED + 510
ATTEMPTS        equ 5
FIRST_HARD_DISK equ 0x80

start:
        cli
        xor     ax, ax
        mov     ss, ax
        mov     sp, LOADED              ; the stack grows down from below the loaded sector
        mov     ds, ax
        mov     es, ax
        mov     si, LOADED
        mov     di, RELOCATED
        mov     cx, 256
        cld
        rep movsw
        jmp     0x0000:relocated        ; also normalises CS for firmware that used 07C0:0000

relocated:
        sti
        mov     [boot_drive], dl

; The first entry with bit 7 set is the active one. Any other non-zero status before it means
; the table is damaged. Without an active entry the firmware decides what to boot next.
        mov     bp, TABLE
        mov     cx, 4
find_active:
        mov     al, [bp]
        test    al, 0x80
        jnz     read_boot_sector
        test    al, al
        jnz     invalid_table
        add     bp, 16
        loop    find_active
        int     0x18
        jmp     halt

read_boot_sector:
        mov     eax, [bp + 8]
        mov     [dap_lba], eax
try_drive:
        mov     di, ATTEMPTS
attempt:
        call    read_sector
        jnc     loaded
        dec     di
        jz      drive_failed
        xor     ah, ah                  ; reset the disk system before the next attempt
        mov     dl, [boot_drive]
        int     0x13
        jmp     attempt
drive_failed:
        ; Some firmware hands over a drive number that cannot be read; the first hard disk
        ; is the one this record was written to.
        cmp     byte [boot_drive], FIRST_HARD_DISK
        je      error_loading
        mov     byte [boot_drive], FIRST_HARD_DISK
        jmp     try_drive

loaded:
        cmp     word [SIGNATURE], 0xAA55
        jne     missing_os
        call    enable_a20
        call    measure_boot_sector
        mov     si, bp                  ; DS:SI -> active entry, as boot sectors expect
        mov     dl, [boot_drive]
        jmp     0x0000:LOADED

; Reads the active partition's first sector to 0000:7C00: by LBA when the firmware has the
; disk extensions, else by the entry's CHS start. CF set on failure.
read_sector:
        mov     ah, 0x41
        mov     bx, 0x55AA
        mov     dl, [boot_drive]
        int     0x13
        jc      .chs
        cmp     bx, 0xAA55
        jne     .chs
        test    cl, 1                   ; packet interface present
        jz      .chs
        mov     ah, 0x42
        mov     si, dap
        mov     dl, [boot_drive]
        int     0x13
        ret
.chs:
        mov     ax, 0x0201              ; read one sector
        mov     bx, LOADED
        mov     dh, [bp + 1]            ; head
        mov     cx, [bp + 2]            ; CL sector and cylinder bits 8-9, CH cylinder bits 0-7
        mov     dl, [boot_drive]
        int     0x13
        ret

; A20 through the keyboard controller's output port.
enable_a20:
        call    .wait
        mov     al, 0xD1                ; write output port
        out     0x64, al
        call    .wait
        mov     al, 0xDF                ; A20 on
        out     0x60, al
        call    .wait
        mov     al, 0xFF                ; pulse nothing: lets the controller settle
        out     0x64, al
        ; fall through to a last wait
.wait:
        xor     cx, cx                  ; bounded: a missing controller must not hang us
.busy:
        in      al, 0x64
        test    al, 2
        loopnz  .busy
        ret

; Hands the loaded sector to the firmware's trusted-platform measurement service when one
; reports itself ("TCPA", interface 1.02 or later).
measure_boot_sector:
        mov     eax, 0xBB00
        int     0x1A
        test    eax, eax
        jnz     .done
        cmp     ebx, 0x41504354         ; "TCPA"
        jne     .done
        cmp     cx, 0x0102
        jb      .done
        mov     eax, 0xBB07             ; hash, log and extend
        mov     ecx, 512
        mov     edx, 8                  ; the PCR for the boot sector
        xor     esi, esi
        mov     edi, LOADED
        push    es
        push    0
        pop     es
        int     0x1A
        pop     es
.done:
        ret

invalid_table:
        mov     bx, 0
        jmp     show_message
error_loading:
        mov     bx, 1
        jmp     show_message
missing_os:
        mov     bx, 2
show_message:
        mov     al, [message_offsets + bx]
        mov     ah, 0x07
        mov     si, ax
.next:
        lodsb
        test    al, al
        jz      halt
        mov     ah, 0x0E                ; teletype output
        mov     bx, 0x0007
        int     0x10
        jmp     .next
halt:
        sti                             ; the firmware's timer keeps its console output flowing
        hlt
        jmp     halt

; Disk address packet of the extended read: one sector to 0000:7C00.
dap:
        db      0x10, 0
        dw      1
        dw      LOADED, 0
dap_lba:
        dd      0, 0
boot_drive:
        db      FIRST_HARD_DISK

%define MSG_INVALID "Invalid partition table"
%define MSG_ERROR   "Error loading operating system"
%define MSG_MISSING "Missing operating system"
%strlen LEN_INVALID MSG_INVALID
%strlen LEN_ERROR MSG_ERROR
%strlen LEN_MISSING MSG_MISSING

        times 437 - (LEN_INVALID + LEN_ERROR + LEN_MISSING + 3) - ($ - $$) db 0
msg_invalid:
        db      MSG_INVALID, 0
msg_error:
        db      MSG_ERROR, 0
msg_missing:
        db      MSG_MISSING, 0
message_offsets:
        db      msg_invalid - $$ - 0x100
        db      msg_error - $$ - 0x100
        db      msg_missing - $$ - 0x100
