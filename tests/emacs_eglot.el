;;; emacs_eglot.el --- Emacs's side of the editor test  -*- lexical-binding: t -*-
;; The shipped set-up opens the source named in SCENARIO_FILE with eglot
;; and `scenarioc lsp' (SCENARIOC); the test waits for the diagnostics,
;; applies the quick fix of the first one that has one, formats the buffer,
;; waits for the diagnostics again and asks for the inlay hints (this eglot
;; shows none itself), then writes what it saw as JSON to SCENARIO_EMACS_OUT
;; and quits. The buffer is never saved.
(require 'json)
;; The packages Debian installs (elpa-eglot), which its site start-up
;; names; no init file of the user's is read.
(require 'package)
(package-initialize)
(load (expand-file-name "editors/emacs/scenario-sources.el"
                        (getenv "SCENARIO_SOURCE_DIR")))
(setq scenario-sources-scenarioc (getenv "SCENARIOC"))
(setq eglot-sync-connect t eglot-autoshutdown nil eglot-events-buffer-size 0)

(defun scenario-test--diagnostics ()
  "The diagnostics of the buffer: [LINE CODE-AND-MESSAGE] of each."
  (vconcat
   (mapcar (lambda (d)
             (vector (line-number-at-pos (flymake-diagnostic-beg d))
                     (flymake-diagnostic-text d)))
           (or (ignore-errors (flymake-diagnostics)) eglot--diagnostics))))

(defun scenario-test--wait (predicate)
  "Run the event loop until PREDICATE holds, for at most 20 s."
  (let ((until (+ (float-time) 20)))
    (while (and (not (funcall predicate)) (< (float-time) until))
      (accept-process-output nil 0.05)))
  (funcall predicate))

(defun scenario-test--with-code (code)
  (lambda ()
    (seq-some (lambda (d) (string-match-p (regexp-quote code) (aref d 1)))
              (scenario-test--diagnostics))))

(let* ((out (getenv "SCENARIO_EMACS_OUT"))
       (code (getenv "SCENARIO_CODE"))
       (result nil))
  (condition-case err
      (progn
        (find-file (getenv "SCENARIO_FILE"))
        (eglot-ensure)
        (run-hooks 'post-command-hook)
        (scenario-test--wait (lambda () (eglot-current-server)))
        (push (cons 'mode (symbol-name major-mode)) result)
        (push (cons 'coding (symbol-name buffer-file-coding-system)) result)
        (push (cons 'seen (and (scenario-test--wait (scenario-test--with-code code))
                               t))
              result)
        (push (cons 'before (scenario-test--diagnostics)) result)
        ;; The quick fix at the diagnostic's line.
        (goto-char (point-min))
        (forward-line (1- (string-to-number (getenv "SCENARIO_LINE"))))
        (eglot-code-actions (line-beginning-position) (line-end-position)
                            "quickfix" t)
        (eglot-format-buffer)
        (eglot--signal-textDocument/didChange)
        (push (cons 'mended
                    (and (scenario-test--wait
                          (lambda ()
                            (not (funcall (scenario-test--with-code code)))))
                         t))
              result)
        (push (cons 'after (scenario-test--diagnostics)) result)
        (push (cons 'text (buffer-substring-no-properties (point-min) (point-max)))
              result)
        (push (cons 'hints
                    (length
                     (jsonrpc-request
                      (eglot--current-server-or-lose) :textDocument/inlayHint
                      (list :textDocument (eglot--TextDocumentIdentifier)
                            :range (list :start (list :line 0 :character 0)
                                         :end (eglot--pos-to-lsp-position
                                               (point-max)))))))
              result))
    (error (push (cons 'error (error-message-string err)) result)))
  (with-temp-file out
    (insert (json-encode result)))
  (kill-emacs 0))
