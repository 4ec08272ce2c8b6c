;;; scenario-sources.el --- scenario sources in Emacs, with eglot  -*- lexical-binding: t -*-

;; Line sources (NAME_linea.txt) and train sources (NAME_NUMBER-.txt) open
;; in modes of their own, read and written as Windows-1252 with the line
;; ends they have, and eglot starts `scenarioc lsp' for them: diagnostics,
;; quick fixes (M-x eglot-code-actions), formatting (M-x
;; eglot-format-buffer), hover, the outline (imenu) and completion.
;;
;; In your init file:
;;   (load "/path/to/editors/emacs/scenario-sources.el")
;;   (setq scenario-sources-scenarioc "/path/to/scenarioc") ; default: on PATH
;;   (add-hook 'scenario-sources-mode-hook #'eglot-ensure)

;;; Code:

(require 'eglot)

(defvar scenario-sources-scenarioc "scenarioc"
  "The scenarioc program that eglot starts as the language server.")

(defvar scenario-sources-font-lock
  '(("^[ \t]*[^,\n]*-[^,\n]*" . font-lock-comment-face)
    ("^[ \t]*\\[[^]\n]*\\]" . font-lock-keyword-face)
    ("^[ \t]*\\([^,\n]+\\)," 1 font-lock-function-name-face)
    ("\"[^\"\n]*\"" . font-lock-string-face)
    ("[-+]?\\<[0-9]+\\>" . font-lock-constant-face))
  "A first colouring of the sources: comments, headers, keywords, texts
and numbers. A server that sends semantic tokens colours them as the
compiler read them, in clients that ask for the tokens.")

(define-derived-mode scenario-sources-mode prog-mode "Scenario"
  "A source of a scenario: rows of a keyword and its fields."
  (setq-local font-lock-defaults '(scenario-sources-font-lock))
  (setq-local comment-start "- ")
  (setq-local indent-tabs-mode nil))

(define-derived-mode scenario-line-mode scenario-sources-mode "Scenario line"
  "A line source, NAME_linea.txt.")

(define-derived-mode scenario-train-mode scenario-sources-mode
  "Scenario train"
  "A train source, NAME_NUMBER-.txt.")

(add-to-list 'auto-mode-alist '("_linea\\.txt\\'" . scenario-line-mode))
(add-to-list 'auto-mode-alist '("-\\.txt\\'" . scenario-train-mode))
;; Windows-1252, keeping the line ends the file has.
(add-to-list 'file-coding-system-alist '("_linea\\.txt\\'" . windows-1252))
(add-to-list 'file-coding-system-alist '("-\\.txt\\'" . windows-1252))

(add-to-list 'eglot-server-programs
             `((scenario-line-mode scenario-train-mode)
               . ,(lambda (&rest _) (list scenario-sources-scenarioc "lsp"))))

(provide 'scenario-sources)
;;; scenario-sources.el ends here
