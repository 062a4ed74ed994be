// One key's control, built from its entry in `quilmora-config schema --json`: the editor's
// caption, hint and range, and the value in the form `dump` prints it.
import React from 'react';
import {
    Checkbox, FormGroup, FormHelperText, HelperText, HelperTextItem, Radio, TextArea, TextInput,
} from '@patternfly/react-core';

// Why an integer's text is refused, in quilmora-config's words, or "".
export function integerError(text, key) {
    const t = String(text).trim();
    if (!/^-?\d+$/.test(t))
        return `${t === '' ? 'an empty text' : t} is not a whole number`;
    const n = Number(t);
    if (n < key.min || n > key.max)
        return `${t} is out of range (${key.min} to ${key.max})`;
    return '';
}

// Multi-line values hold CR LF line breaks; the text area shows LF.
const toArea = v => String(v ?? '').replace(/\r\n/g, '\n');
const fromArea = v => v.replace(/\r?\n/g, '\r\n');

export function KeyField({ schemaKey: key, value, onChange, readOnly, idPrefix, pending, onPending }) {
    const id = `${idPrefix}-${key.key}`;
    const label = key.caption;
    const hint = key.hint ? <FormHelperText><HelperText><HelperTextItem>{key.hint}</HelperTextItem></HelperText></FormHelperText> : null;
    switch (key.form) {
    case 'switch':
        return (
            <FormGroup fieldId={id}>
                <Checkbox id={id} label={label} isChecked={!!value} isDisabled={readOnly}
                          onChange={(_e, on) => onChange(on)} />
            </FormGroup>);
    case 'flag':
        // Checked only for exactly "Y", as the editor reads a flag; other values are kept
        // until the box is clicked.
        return (
            <FormGroup fieldId={id}>
                <Checkbox id={id} label={label} isChecked={value === 'Y'} isDisabled={readOnly}
                          onChange={(_e, on) => onChange(on ? 'Y' : 'N')} />
            </FormGroup>);
    case 'integer': {
        if (key.choices) {
            return (
                <FormGroup label={label} fieldId={id} role="radiogroup" isInline>
                    {key.choices.map((choice, i) =>
                        <Radio key={choice} id={`${id}-${i}`} name={id} label={choice} isChecked={value === i}
                               isDisabled={readOnly} onChange={() => onChange(i)} />)}
                </FormGroup>);
        }
        // The text stays as typed until it is a whole number in range; the draft gets only such.
        const text = pending !== undefined ? pending : String(value ?? '');
        const error = pending !== undefined ? integerError(pending, key) : '';
        return (
            <FormGroup label={label} fieldId={id}>
                <TextInput id={id} type="text" inputMode="numeric" value={text} isDisabled={readOnly}
                           validated={error ? 'error' : 'default'} aria-label={label}
                           onChange={(_e, t) => {
                               const bad = integerError(t, key);
                               onPending(bad ? t : undefined, bad);
                               if (!bad)
                                   onChange(Number(t.trim()));
                           }} />
                {error
                    ? <FormHelperText><HelperText><HelperTextItem variant="error" id={`${id}-error`}>{`${key.caption}: ${error}`}</HelperTextItem></HelperText></FormHelperText>
                    : hint}
            </FormGroup>);
    }
    case 'multiline':
        return (
            <FormGroup label={label} fieldId={id}>
                <TextArea id={id} value={toArea(value)} isDisabled={readOnly} rows={5} resizeOrientation="vertical"
                          aria-label={label} onChange={(_e, t) => onChange(fromArea(t))} />
                {hint}
            </FormGroup>);
    default:
        return (
            <FormGroup label={label} fieldId={id}>
                <TextInput id={id} type="text" value={value ?? ''} isDisabled={readOnly} aria-label={label}
                           onChange={(_e, t) => onChange(t)} />
                {hint}
            </FormGroup>);
    }
}
